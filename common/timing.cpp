#include "common/timing.h"

#include <sys/prctl.h>

#include <chrono>
#include <thread>

std::int64_t PerfCounter() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t PerfFrequency() { return 1'000'000'000; }

namespace {

// The wait loop shared by both delays: sleep 1 ms while more than 5 counter
// units remain, re-reading the counter after each pass.
void WaitLoop(std::int64_t ticks, std::int64_t start, std::int64_t elapsed) {
  while (elapsed < ticks) {
    if (ticks - elapsed > 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    elapsed = PerfCounter() - start;
  }
}

}  // namespace

void DelayMs(std::uint16_t ms) {
  const std::int64_t ticks = PerfFrequency() * ms / 1000;
  WaitLoop(ticks, PerfCounter(), 0);
}

void DelayUntilMs(std::uint16_t ms, std::int64_t start) {
  // No counter reading before the first pass: elapsed starts at 0 whatever
  // start is, so a start of 0 (nothing received yet) ends after one pass.
  const std::int64_t ticks = PerfFrequency() * ms / 1000;
  WaitLoop(ticks, start, 0);
}

void LowerTimerSlack() { ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }
