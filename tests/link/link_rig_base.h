#pragma once
// What the link and session tests share whichever simulated ECU they drive:
// the link's settings, a folder for the log, the waits, the trace, and a
// RecordingUi. The test thread is the
// user-interface thread. KwpLineRig (any system) and LinkRig (an ECU in the
// test's own process, Linux) put the ECU behind it.

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "common/config.h"
#include "common/paths.h"
#include "common/worker.h"
#include "ecu/session.h"
#include "link/kline_port.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/port.h"
#include "link/trace.h"
#include "sim/kwp_ecu.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ui.h"
#include "tests/support/ui_loop.h"

class LinkRigBase : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAppDirOverride(dir_.File());
    ApplyLinkSettings();
    session.AddSink(ui);
  }

  void TearDown() override {
    // A failed test tells what the program showed the user meanwhile.
    if (HasFailure())
      for (const std::string& e : ui.errors) std::cerr << "error shown: " << e << '\n';
    if (watched_->LinkActive()) {
      ui.closeDeferred = false;
      watched_->Teardown();
    }
    // Link threads end once their port is closed; none may outlive the test.
    EXPECT_TRUE(::WaitFor([] { return LiveWorkerCount() == 0; }, 5000));
    DropLine();
    SetAppDirOverride({});
  }

  // The port the ECU is behind, and the requests it received.
  virtual std::string PortName() const = 0;
  virtual std::vector<sim::KwpEcu::Request> EcuRequests() const = 0;
  // The line goes once the link has ended.
  virtual void DropLine() = 0;

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

  void Connect(int cbr) { watched_->Connect(PortName(), cbr, false, TCfg.Echo.load() != 0); }

  // The bound is never reached when the code works, however busy the machine.
  bool WaitFor(const std::function<bool()>& pred, int ms = 10000) { return ::WaitFor(pred, ms); }
  bool WaitSession() {
    return WaitFor([&] { return watched_->LinkState().load() == 1; });
  }
  bool WaitLinkEnd() {
    return WaitFor([&] { return !watched_->LinkActive(); });
  }
  // Waits until the link is between exchanges with every trace line of the
  // last one written: nothing pending or awaited, and the transmitter, woken
  // by the end of the exchange, back in its wait. The write's own StopWriter
  // may come after MsgEnd, so the last line alone does not say the wake-up
  // is traced: it is StartWriter with nothing between it and StopWriter.
  bool WaitLinkIdle() {
    return WaitFor([this] {
      const auto lines = TraceLines();
      return watched_->Link()->WriterIdle() && watched_->Link()->QueueEmpty() && lines.size() >= 2 &&
             lines.end()[-2] == TraceStartWriterLine() && lines.back() == TraceStopWriterLine();
    });
  }

  // Requests the ECU received, as byte strings.
  std::vector<std::vector<std::uint8_t>> Requests() const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& r : EcuRequests()) out.push_back(r.bytes);
    return out;
  }
  int CountRequests(std::uint8_t sid) const {
    int n = 0;
    for (const auto& r : EcuRequests()) {
      const std::size_t at = r.bytes[0] == 0x80 ? 4 : 3;
      if (r.bytes.size() > at && r.bytes[at] == sid) ++n;
    }
    return n;
  }

  // The watched session's trace, as text and as lines without CR LF.
  std::string TraceText() const { return watched_->Trace().Snapshot(); }
  void ClearTrace() { watched_->Trace().Clear(); }
  std::vector<std::string> TraceLines() const {
    std::vector<std::string> lines;
    const std::string text = TraceText();
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
      lines.push_back(text.substr(start, at - start));
    return lines;
  }

  RecordingUi ui;
  // The rig's own session; ui hears its events and takes its frames.
  EcuSession session{ui};
  // The session the rig connects, waits on and tears down: its own, or a
  // window's (which must outlive the test or be watched anew).
  void Watch(EcuSession& s) { watched_ = &s; }

 private:
  EcuSession* watched_ = &session;
  TempDir dir_;
};
