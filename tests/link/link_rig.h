#pragma once
// A K-line adapter with the simulated ECU behind it on a pseudo-terminal, the
// link and session around it, and a RecordingUi, for the link and session
// tests. The test thread is the user-interface thread.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/config.h"
#include "common/paths.h"
#include "common/worker.h"
#include "ecu/session.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/port.h"
#include "link/trace.h"
#include "sim/kwp_ecu.h"
#include "sim/sim.h"
#include "tests/support/test_ui.h"
#include "tests/support/ui_loop.h"

class LinkRig : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("varnek-link-" + std::to_string(::getpid()) + "-" + std::to_string(++serial_));
    std::filesystem::create_directories(dir_);
    SetAppDirOverride(dir_.string());
    ApplyLinkSettings();
    LinkState = 0;
    UnidirMode = 0;
    LeaveUnidirRequest = 0;
    RequestedCorrUOZ = 0;
    TraceClear();
    ecu = std::make_shared<sim::KwpEcu>();
  }

  void TearDown() override {
    // A failed test tells what the program showed the user meanwhile.
    if (HasFailure())
      for (const std::string& e : ui.errors) std::cerr << "error shown: " << e << '\n';
    pollTimer_.Stop();
    if (PortHandle.load() != kNoPort || LinkTimerActive()) {
      ui.closeDeferred = false;
      EcuTeardown();
    }
    LinkState = 0;
    UnidirMode = 0;
    // Link threads end once their port is closed; none may outlive the test.
    EXPECT_TRUE(::WaitFor([] { return LiveWorkerCount() == 0; }, 5000));
    line.reset();
    SetAppDirOverride({});
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // The rig's settings of the link (again after a window has loaded its own).
  static void ApplyLinkSettings() {
    TCfg.Echo = 1;
    TCfg.FastInit = 0;
    TCfg.WriterPause = 20;
    TCfg.DataInterval = 0;
    TCfg.NotCheckReplyLen = 1;
    TCfg.WriteLog = 0;
    TCfg.LambdaEnabled = 0;
  }

  // The adapter and the ECU; timeScale 0 puts bytes on the wire at once.
  void StartLine(double timeScale = 0.0, bool echo = true) {
    sim::SimLineOptions o;
    o.timeScale = timeScale;
    o.echo = echo;
    o.absorbWakeByte = true;
    line = std::make_unique<sim::SimLine>((dir_ / "kline").string(),
                                          std::make_shared<sim::SimEcuSwitch>(ecu, nullptr), o);
  }

  void Connect(int cbr) { EcuConnect(line->LinkPath(), cbr, false, TCfg.Echo.load() != 0); }

  // Stands in for the window's MsgTimer: polls every DataInterval ms while on.
  void RunMsgTimer() { pollTimer_.Start(TCfg.DataInterval.load()); }

  // The bound is never reached when the code works, however busy the machine.
  bool WaitFor(const std::function<bool()>& pred, int ms = 10000) { return ::WaitFor(pred, ms); }
  bool WaitSession() {
    return WaitFor([] { return LinkState.load() == 1; });
  }
  bool WaitLinkEnd() {
    return WaitFor([] { return PortHandle.load() == kNoPort && !LinkTimerActive(); });
  }
  // Waits until the link is between exchanges with every trace line of the
  // last one written: nothing pending or awaited, and the transmitter, woken
  // by the end of the exchange, back in its wait.
  bool WaitLinkIdle() {
    return WaitFor([] {
      const auto lines = TraceLines();
      return WriterIdle.load() == 1 && QueueEmpty() && !lines.empty() &&
             lines.back() == TraceStopWriterLine();
    });
  }

  // Requests the ECU received, as byte strings.
  std::vector<std::vector<std::uint8_t>> Requests() const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& r : ecu->Requests()) out.push_back(r.bytes);
    return out;
  }
  int CountRequests(std::uint8_t sid) const {
    int n = 0;
    for (const auto& r : ecu->Requests()) {
      const std::size_t at = r.bytes[0] == 0x80 ? 4 : 3;
      if (r.bytes.size() > at && r.bytes[at] == sid) ++n;
    }
    return n;
  }

  // The trace as lines without CR LF.
  static std::vector<std::string> TraceLines() {
    std::vector<std::string> lines;
    const std::string text = TraceSnapshot();
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
      lines.push_back(text.substr(start, at - start));
    return lines;
  }

  RecordingUi ui;
  std::shared_ptr<sim::KwpEcu> ecu;
  std::unique_ptr<sim::SimLine> line;

 private:
  std::filesystem::path dir_;
  UiTimer pollTimer_{[this] {
    if (ui.msgTimer && LinkState.load() == 1 && UnidirMode.load() == 0) RequestData();
  }};
  static inline int serial_ = 0;
};
