// The window that finds its own size, on a simulated link and server.
#include "run/adaptive_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <utility>

namespace varnel {
namespace {

// A link of a fixed round trip (plus up to `jitterMs` more on the way back,
// spread evenly over the answers) to a server that answers a fixed number of
// requests each millisecond, in the order they reach it, and a client that
// keeps the window's limit in flight. Counted in milliseconds.
struct LinkRun {
  // Over the last half of the run, when slow start is long over.
  uint32_t smallestLimit = AdaptiveWindow::kCap;
  uint32_t largestLimit = 0;
  uint32_t largestEver = 0;
  uint64_t servedLastHalf = 0;
  uint32_t finalLimit = 0;
};

LinkRun RunOverLink(uint32_t oneWayMs, uint32_t servedPerMs, uint32_t durationMs,
                    uint32_t jitterMs = 0) {
  AdaptiveWindow window;
  std::deque<uint32_t> onTheWayOut;                // sent at
  std::deque<uint32_t> queued;                     // sent at, at the server
  std::multimap<uint32_t, uint32_t> onTheWayBack;  // arrives at -> sent at
  uint32_t inFlight = 0;
  uint32_t answers = 0;
  LinkRun run;
  for (uint32_t now = 0; now < durationMs; ++now) {
    while (!onTheWayOut.empty() && onTheWayOut.front() + oneWayMs <= now) {
      queued.push_back(onTheWayOut.front());
      onTheWayOut.pop_front();
    }
    for (uint32_t served = 0; served < servedPerMs && !queued.empty(); ++served) {
      const uint32_t jitter = jitterMs == 0 ? 0 : ++answers * 7 % (jitterMs + 1);
      onTheWayBack.emplace(now + oneWayMs + jitter, queued.front());
      queued.pop_front();
      if (now >= durationMs / 2) ++run.servedLastHalf;
    }
    while (!onTheWayBack.empty() && onTheWayBack.begin()->first <= now) {
      window.Answered(now - onTheWayBack.begin()->second, inFlight);
      --inFlight;
      onTheWayBack.erase(onTheWayBack.begin());
    }
    for (; inFlight < window.Limit(); ++inFlight) onTheWayOut.push_back(now);
    run.largestEver = std::max(run.largestEver, window.Limit());
    if (now >= durationMs / 2) {
      run.smallestLimit = std::min(run.smallestLimit, window.Limit());
      run.largestLimit = std::max(run.largestLimit, window.Limit());
    }
  }
  run.finalLimit = window.Limit();
  return run;
}

// Grows `window` with answers of `rttMs`, each with the whole
// window in flight, until it holds `atLeast`.
void GrowTo(AdaptiveWindow& window, uint32_t rttMs, uint32_t atLeast) {
  for (int answers = 0; window.Limit() < atLeast && answers < 100000; ++answers)
    window.Answered(rttMs, window.Limit());
}

TEST(AdaptiveWindowTest, FillsALongFatLinkToItsBandwidthDelayProduct) {
  // 200 ms round trip, 2 answers a millisecond: 400 requests fill the link.
  const LinkRun run = RunOverLink(100, 2, 30000);
  EXPECT_GE(run.smallestLimit, 400u);
  EXPECT_LE(run.largestLimit, 460u) << "a tenth queued at the server, no more";
  EXPECT_GE(run.servedLastHalf, 15000u * 2 * 99 / 100);
}

TEST(AdaptiveWindowTest, TakesALongLinksOwnUnevennessForNoQueue) {
  // The same link, its round trips up to a tenth longer now and then.
  const LinkRun run = RunOverLink(100, 2, 30000, 20);
  EXPECT_GE(run.smallestLimit, 400u);
  EXPECT_GE(run.servedLastHalf, 15000u * 2 * 99 / 100);
}

TEST(AdaptiveWindowTest, NeverPassesTheCap) {
  // 20 answers a millisecond would take 4,000 in flight.
  const LinkRun run = RunOverLink(100, 20, 20000);
  EXPECT_EQ(run.largestEver, AdaptiveWindow::kCap);
  EXPECT_EQ(run.finalLimit, AdaptiveWindow::kCap);
}

// Once for the requests of the window that met the busy server, and again
// for one sent after.
TEST(AdaptiveWindowTest, HalvesOnBusy) {
  AdaptiveWindow window;
  GrowTo(window, 50, 64);
  const uint32_t before = window.Limit();
  for (uint32_t inFlight = 3; inFlight >= 1; --inFlight) window.Overloaded(inFlight);
  EXPECT_EQ(window.Limit(), before / 2);
  window.Overloaded(1);
  EXPECT_EQ(window.Limit(), before / 4);
}

TEST(AdaptiveWindowTest, ShrinksWhenAnswersSlowDown) {
  AdaptiveWindow window;
  GrowTo(window, 100, 2 * AdaptiveWindow::kInitial);
  const uint32_t before = window.Limit();
  // Twice the fastest round trip: half the requests wait at the server.
  for (uint32_t i = 0; i < 2 * before; ++i) window.Answered(201, before);
  EXPECT_LT(window.Limit(), before * 6 / 10);
  EXPECT_GT(window.Limit(), before * 4 / 10);
}

TEST(AdaptiveWindowTest, DoesNotGrowBeyondWhatTheRunUses) {
  AdaptiveWindow window;
  GrowTo(window, 10, 8);
  const uint32_t before = window.Limit();
  for (int i = 0; i < 1000; ++i) window.Answered(10, 1);
  EXPECT_EQ(window.Limit(), before);
}

}  // namespace
}  // namespace varnel
