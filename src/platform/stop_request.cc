#include "platform/stop_request.h"

#include <unistd.h>

#include <csignal>

namespace varnel {
namespace {

volatile std::sig_atomic_t g_signal = 0;
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

void OnStopSignal(int signal) {
  if (g_signal != 0) _exit(128 + signal);  // the second: at once
  g_signal = signal;
}

}  // namespace

SignalStopRequest::SignalStopRequest() {
  g_signal = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &g_previousInt);
  sigaction(SIGTERM, &action, &g_previousTerm);
}

SignalStopRequest::~SignalStopRequest() {
  sigaction(SIGINT, &g_previousInt, nullptr);
  sigaction(SIGTERM, &g_previousTerm, nullptr);
}

int SignalStopRequest::Signal() const { return g_signal; }

int StopSignalSeen() { return g_signal; }

}  // namespace varnel
