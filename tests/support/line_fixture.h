#pragma once
// Base of the serial tests that put simulated lines in a temporary folder and
// open them with the real port code; everything is closed and removed after
// each test.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/port.h"
#include "sim/sim.h"
#include "tests/support/port_io.h"

class LineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/varnek-line.XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    for (PortId id : opened_) ClosePortHandle(id);
    lines_.clear();
    std::filesystem::remove_all(dir_);
  }
  sim::SimLine& AddLine(const std::string& name, std::shared_ptr<sim::SimDevice> device, double timeScale,
                        bool echo) {
    sim::SimLineOptions o;
    o.timeScale = timeScale;
    o.echo = echo;
    lines_.push_back(std::make_unique<sim::SimLine>(dir_ + "/" + name, std::move(device), o));
    return *lines_.back();
  }
  PortId OpenLine(const sim::SimLine& line, std::uint32_t baud, int stop, std::uint16_t readMul) {
    opened_.push_back(OpenAndConfigurePort(line.LinkPath(), baud, stop, readMul, 100));
    return opened_.back();
  }
  static std::vector<std::uint8_t> ReadUpTo(PortId id, int n, int ms = kReadUpToMs) {
    return ::ReadUpTo(id, n, ms);
  }
  static void Write(PortId id, const std::vector<std::uint8_t>& bytes) { WriteBytes(id, bytes); }

  std::string dir_;
  std::vector<std::unique_ptr<sim::SimLine>> lines_;
  std::vector<PortId> opened_;
};
