#include "common/timing.h"

#include <gtest/gtest.h>

namespace {

// Each of these would wait a minute or more if the loop took the start value
// into account before its first pass; returning at all is the check.
TEST(DelayTest, ZeroAndExpiredWaitsEndAfterAtMostOnePass) {
  DelayMs(0);
  DelayUntilMs(0, PerfCounter());
  DelayUntilMs(0, 0);
  DelayUntilMs(65535, 0);                                     // nothing received yet
  DelayUntilMs(60000, PerfCounter() - 61 * PerfFrequency());  // older than the pause
  SUCCEED();
}

TEST(DelayTest, DelayWaitsAtLeastItsTime) {
  for (std::uint16_t ms : {1, 5, 12}) {
    std::int64_t start = PerfCounter();
    DelayMs(ms);
    EXPECT_GE(PerfCounter() - start, PerfFrequency() * ms / 1000) << ms;
    start = PerfCounter();
    DelayUntilMs(ms, start);
    EXPECT_GE(PerfCounter() - start, PerfFrequency() * ms / 1000) << ms;
  }
}

TEST(DelayTest, CounterIsMonotonic) {
  std::int64_t a = PerfCounter();
  std::int64_t b = PerfCounter();
  EXPECT_LE(a, b);
  EXPECT_GE(PerfFrequency(), 1'000'000);  // microseconds at least
}

}  // namespace
