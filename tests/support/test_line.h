#pragma once
// Serial lines with a scripted device behind them, for the port tests that
// every system runs: on Linux simulated lines of the test process
// (test_line_local.cpp), on Windows the simulator's scripted lines reached
// through its control channel (test_line_remote.cpp, run by
// scripts/windows.sh).

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/port.h"
#include "tests/support/port_io.h"

// The program's line settings as the device side of a line sees them.
struct LineView {
  std::uint32_t baud = 0;
  int dataBits = 8;
  bool parity = false;
  int stopBits = 1;
  bool raw = false;
};

class TestLine {
 public:
  virtual ~TestLine() = default;
  // The name the port layer opens.
  virtual std::string PortName() const = 0;
  virtual void SetEcho(bool on) = 0;
  // The adapter keeps the wake-up byte 0x01 from the device.
  virtual void SetAbsorbWakeByte(bool on) = 0;
  // The device sends bytes gapMs from now (after those still queued, if later).
  virtual void DeviceSends(const std::vector<std::uint8_t>& bytes, double gapMs = 0) = 0;
  // What reached the device since the line was made.
  virtual std::vector<std::uint8_t> DeviceReceived() = 0;
  virtual LineView ProgramSettings() = 0;
};

// Line `index` (0 or 1) of the running test: echo on, the wake-up byte passed
// on, nothing received, the device's rate whatever the program's.
std::unique_ptr<TestLine> MakeTestLine(int index);
// False where a line cannot show the rates below the standard ones: Wine
// leaves a pseudo-terminal at its old rate when asked for 10400.
bool LinesShowEveryRate();

class PortLineTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (PortId id : opened_) ClosePortHandle(id);
    ClosePortHandle(PortHandle);
    lines_.clear();
  }
  TestLine& NewLine(bool echo = true) {
    lines_.push_back(MakeTestLine(static_cast<int>(lines_.size())));
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
