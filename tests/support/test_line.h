#pragma once
// Serial lines with a scripted device behind them, for the port tests that
// every system runs (the simulator's lines, see sim_lines.h).

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/port.h"
#include "sim/control_text.h"
#include "tests/support/port_io.h"
#include "tests/support/sim_lines.h"

// Line `index` (0 or 1) of the running test: a device that records and sends
// what it is told; echo on, the wake-up byte passed on, the device's rate
// whatever the program's.
class TestLine : public SimTestLine {
 public:
  explicit TestLine(int index) : SimTestLine("line" + std::to_string(index + 1), "puppet") {}
  // The name the port layer opens.
  std::string PortName() const { return Port(); }
  // The device sends bytes gapMs from now (after those still queued, if later).
  void DeviceSends(const std::vector<std::uint8_t>& bytes, double gapMs = 0) const {
    Do("send", sim::ToHex(bytes) + " " + std::to_string(gapMs));
  }
  // What reached the device since the line was made.
  std::vector<std::uint8_t> DeviceReceived() const { return sim::ParseHex(Do("received")); }
};

class PortLineTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (PortId id : opened_) ClosePortHandle(id);
    lines_.clear();
  }
  TestLine& NewLine(bool echo = true) {
    lines_.push_back(std::make_unique<TestLine>(static_cast<int>(lines_.size())));
    if (!echo) lines_.back()->SetEcho(false);
    return *lines_.back();
  }
  PortId Open(const TestLine& line, std::uint32_t baud = 10400, int stop = ONESTOPBIT,
              std::uint16_t readMul = 20) {
    opened_.push_back(OpenAndConfigurePort(line.PortName(), baud, stop, readMul, 100));
    return opened_.back();
  }

  std::vector<std::unique_ptr<TestLine>> lines_;
  std::vector<PortId> opened_;
};
