#pragma once
// A simulated device for serial tests: records what reaches it and answers
// through a callback.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "sim/sim.h"

class ScriptDevice : public sim::SimDevice {
 public:
  explicit ScriptDevice(sim::LineSettings s = {}) : settings_(s) {}
  sim::LineSettings Settings() const override { return settings_; }
  void OnByte(std::uint8_t b, const sim::LineSettings&) override {
    {
      std::lock_guard lock(mutex_);
      received_.push_back(b);
    }
    if (onByte) onByte(b);
  }
  std::vector<std::uint8_t> Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }
  using SimDevice::Send;                     // line thread only
  std::function<void(std::uint8_t)> onByte;  // set before the line starts

 private:
  sim::LineSettings settings_;
  std::mutex mutex_;
  std::vector<std::uint8_t> received_;
};
