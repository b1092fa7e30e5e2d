#pragma once
// The reply-rate counter of status panel 8: replies (or packets) per second
// over windows of at least one second. User-interface thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class ReplyRateCounter {
 public:
  // now reads the monotonic counter, frequency is its units per second.
  ReplyRateCounter(std::function<std::int64_t()> now, std::int64_t frequency);

  // Starts a new window (session start, entry into unidirectional mode).
  void Reset();
  // Counts one reply; returns the panel text when this reply closes a window
  // of at least one second, nothing otherwise (the panel keeps its text).
  std::optional<std::string> Count();

 private:
  std::function<std::int64_t()> now_;
  std::int64_t frequency_;
  std::int64_t windowStart_ = 0;
  std::int64_t count_ = 0;
};
