#include "app/live/reply_rate.h"

#include <limits>
#include <utility>

#include "common/format.h"

ReplyRateCounter::ReplyRateCounter(std::function<std::int64_t()> now, std::int64_t frequency)
    : now_(std::move(now)), frequency_(frequency > 0 ? frequency : 1) {
  windowStart_ = now_();
}

void ReplyRateCounter::Reset() {
  count_ = 0;
  windowStart_ = now_();
}

std::optional<std::string> ReplyRateCounter::Count() {
  ++count_;
  const std::int64_t now = now_();
  const std::int64_t delta = now - windowStart_;
  if (delta <= 0) return std::nullopt;
  // Whole milliseconds, split so that a long window cannot overflow the product.
  const std::int64_t ms64 = delta / frequency_ * 1000 + delta % frequency_ * 1000 / frequency_;
  // A window longer than 49 days saturates rather than wrapping to a short one.
  const std::uint32_t ms = ms64 > std::numeric_limits<std::uint32_t>::max()
                               ? std::numeric_limits<std::uint32_t>::max()
                               : static_cast<std::uint32_t>(ms64);
  if (ms < 1000) return std::nullopt;
  const double rate = static_cast<double>(count_) / (ms / 1000.0);
  count_ = 0;
  windowStart_ = now;
  return FormatFloat("##0.# п/сек", rate);
}
