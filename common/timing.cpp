#include "common/timing.h"

#include "common/timing_os.h"

namespace {

// The wait loop shared by both delays: sleep 1 ms while more than 5 counter
// units remain, re-reading the counter after each pass.
void WaitLoop(std::int64_t ticks, std::int64_t start, std::int64_t elapsed) {
  while (elapsed < ticks) {
    if (ticks - elapsed > 5) timing_os::SleepOneMs();
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
