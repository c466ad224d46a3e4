#include "platform/stop_request.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "platform/tick_counter.h"

namespace varnel {
namespace {

volatile std::sig_atomic_t g_signal = 0;
std::atomic<uint32_t> g_askedAt{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "written by a signal handler");
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

void OnStopSignal(int signal) {
  if (g_signal != 0) _exit(128 + signal);  // the second: at once
  // clock_gettime, all the counter does, may be called here.
  g_askedAt.store(MonotonicTickCounter().Now());
  g_signal = signal;
}

}  // namespace

SignalStopRequest::SignalStopRequest() {
  g_signal = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read that waits for input gives up on the signal.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &g_previousInt);
  sigaction(SIGTERM, &action, &g_previousTerm);
}

SignalStopRequest::~SignalStopRequest() {
  sigaction(SIGINT, &g_previousInt, nullptr);
  sigaction(SIGTERM, &g_previousTerm, nullptr);
}

int SignalStopRequest::Signal() const { return g_signal; }

uint32_t SignalStopRequest::AskedAt() const { return g_askedAt.load(); }

int StopSignalSeen() { return g_signal; }

void LeaveStopSignalsToTheRun() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

}  // namespace varnel
