#pragma once
// The LC-1's last reading with its no-data flag and silence count, shared by
// the reader thread (a packet stored) and the user-interface thread (the
// silence timer, every reader of the value) under one lock. No thread, no
// port, no clock: the timer's ticks come from outside. Any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "common/shared_value.h"

class Lc1Reading {
 public:
  // A connect begins with the reading at 0, also when its port fails to open.
  void ClearValue();
  // A started reader: no data, no silence counted until the first packet.
  void Begin();
  // Stores a packet's reading unless stopped() is true under the lock; a stop
  // raised before the lock was passed through (PassLock) is always seen.
  bool Store(double reading, const std::function<bool()>& stopped);
  // Orders a stop raised before it ahead of any later Store.
  void PassLock();
  // One 100 ms tick: true when it completes a second without a packet (the
  // reading is then 0 and NoData true), once per silence.
  bool Tick();

  double Value() const;
  bool NoData() const { return noData_.load() != 0; }
  // 100 ms ticks since the last packet; -1 until the first.
  std::int32_t SilenceTicks() const { return silenceTicks_; }
  std::uint64_t Packets() const { return packets_.load(std::memory_order_relaxed); }
  // The count after one tick: -1 (no packet yet) stays, and so does the
  // largest count.
  static std::int32_t NextTick(std::int32_t ticks);

 private:
  // Guards value_; the silence count is also changed under it, so a packet's
  // reset of the count is never lost to a tick.
  mutable std::mutex lock_;
  double value_ = 0;
  SharedValue<std::uint8_t> noData_;
  SharedValue<std::int32_t> silenceTicks_{-1};
  std::atomic<std::uint64_t> packets_{0};
};
