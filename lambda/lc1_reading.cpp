#include "lambda/lc1_reading.h"

#include <limits>

void Lc1Reading::ClearValue() {
  std::lock_guard<std::mutex> lock(lock_);
  value_ = 0;
}

void Lc1Reading::Begin() {
  std::lock_guard<std::mutex> lock(lock_);
  noData_ = 1;
  silenceTicks_ = -1;
}

bool Lc1Reading::Store(double reading, const std::function<bool()>& stopped) {
  std::lock_guard<std::mutex> lock(lock_);
  if (stopped()) return false;
  noData_ = 0;
  value_ = reading;
  silenceTicks_ = 0;
  packets_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void Lc1Reading::PassLock() { std::lock_guard<std::mutex> lock(lock_); }

bool Lc1Reading::Tick() {
  std::lock_guard<std::mutex> lock(lock_);
  const std::int32_t ticks = NextTick(silenceTicks_);
  silenceTicks_ = ticks;
  if (ticks != 10) return false;
  noData_ = 1;
  value_ = 0;
  return true;
}

std::int32_t Lc1Reading::NextTick(std::int32_t ticks) {
  if (ticks == -1 || ticks == std::numeric_limits<std::int32_t>::max()) return ticks;
  return ticks + 1;
}

double Lc1Reading::Value() const {
  std::lock_guard<std::mutex> lock(lock_);
  return value_;
}
