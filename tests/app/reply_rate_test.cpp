// The reply rate of status panel 8.
#include "app/live/reply_rate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr std::int64_t kFreq = 1'000'000;  // microsecond counter

struct Clock {
  std::int64_t now = 5'000'000;
  ReplyRateCounter counter{[this] { return now; }, kFreq};
  // n replies, the last one ms milliseconds from now and the others within
  // the first millisecond; the text of the last one (the others give none).
  std::optional<std::string> Replies(int n, std::int64_t ms) {
    const std::int64_t start = now;
    for (int i = 1; i < n; ++i) {
      now = start + i;
      EXPECT_EQ(counter.Count(), std::nullopt);
    }
    now = start + ms * 1000;
    return counter.Count();
  }
};

TEST(ReplyRate, RateOverTheClosingWindow) {
  struct Case {
    int replies;
    std::int64_t ms;
    const char* text;
  };
  const Case cases[] = {
      {7, 1400, "5 п/сек"},   {9, 1200, "7.5 п/сек"},   {10, 1000, "10 п/сек"},
      {1, 3000, "0.3 п/сек"}, {200, 1000, "200 п/сек"},
  };
  for (const Case& c : cases) {
    Clock clk;
    clk.counter.Reset();
    EXPECT_EQ(clk.Replies(c.replies, c.ms), std::optional<std::string>(c.text)) << c.replies;
  }
}

TEST(ReplyRate, NoTextBeforeASecondHasPassed) {
  Clock clk;
  clk.counter.Reset();
  EXPECT_EQ(clk.Replies(20, 999), std::nullopt);
  clk.now += 1000;
  EXPECT_EQ(clk.counter.Count(), std::optional<std::string>("21 п/сек"));
}

TEST(ReplyRate, WindowRestartsAfterText) {
  Clock clk;
  clk.counter.Reset();
  clk.Replies(7, 1400);
  EXPECT_EQ(clk.Replies(2, 999), std::nullopt);
  EXPECT_EQ(clk.Replies(1, 1), std::optional<std::string>("3 п/сек"));
}

TEST(ReplyRate, ResetDropsCountAndStartsWindowNow) {
  Clock clk;
  clk.counter.Reset();
  clk.Replies(50, 900);
  clk.counter.Reset();
  EXPECT_EQ(clk.Replies(4, 2000), std::optional<std::string>("2 п/сек"));
}

TEST(ReplyRate, VeryLongWindowDoesNotOverflow) {
  Clock clk;
  clk.counter.Reset();
  clk.now += std::int64_t{200} * 24 * 3600 * kFreq;  // 200 days
  auto t = clk.counter.Count();
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(*t, "0 п/сек");
}

}  // namespace
