#include "common/timing.h"

#include "common/timing_os.h"

namespace {

// The wait loop shared by the delays: sleep 1 ms while more than 5 counter
// units remain, re-reading the counter after each pass.
bool WaitLoop(std::int64_t ticks, std::int64_t start, std::int64_t elapsed,
              const std::function<bool()>& sleepOneMs) {
  while (elapsed < ticks) {
    if (ticks - elapsed > 5 && !sleepOneMs()) return false;
    elapsed = PerfCounter() - start;
  }
  return true;
}

bool OsSleepOneMs() {
  timing_os::SleepOneMs();
  return true;
}

}  // namespace

void DelayMs(std::uint16_t ms) {
  const std::int64_t ticks = PerfFrequency() * ms / 1000;
  WaitLoop(ticks, PerfCounter(), 0, OsSleepOneMs);
}

void DelayUntilMs(std::uint16_t ms, std::int64_t start) { DelayUntilMs(ms, start, OsSleepOneMs); }

bool DelayUntilMs(std::uint16_t ms, std::int64_t start, const std::function<bool()>& sleepOneMs) {
  // No counter reading before the first pass: elapsed starts at 0 whatever
  // start is, so a start of 0 (nothing received yet) ends after one pass.
  const std::int64_t ticks = PerfFrequency() * ms / 1000;
  return WaitLoop(ticks, start, 0, sleepOneMs);
}
