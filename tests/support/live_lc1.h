#pragma once
// An LC-1 reader on the simulated controller (14.7 AFR, a packet every 5 ms),
// given to a session once its first reading has come, for the tests of
// what the session and the window make of the reading. Needs the test's
// user-interface loop (RecordingUi or the Qt one) for as long as it lives.

#include "ecu/session.h"
#include "lambda/lc1_reader.h"
#include "tests/support/sim_lines.h"
#include "tests/support/ui_loop.h"

class LiveLc1 {
 public:
  static constexpr int kWaitMs = 10000;

  // session: the one that gets this object's own reader; reader: a reader of
  // the test's own (a window's) instead.
  explicit LiveLc1(EcuSession& session) : LiveLc1(&session, own_) {}
  explicit LiveLc1(Lc1Reader& reader) : LiveLc1(nullptr, reader) {}
  ~LiveLc1() {
    if (session_ && session_->Lc1() == &own_) session_->SetLc1(nullptr);
    reader_.Disconnect();
    WaitFor([this] { return !reader_.ReaderRunning(); }, kWaitMs);
  }
  LiveLc1(const LiveLc1&) = delete;
  LiveLc1& operator=(const LiveLc1&) = delete;

  // The first reading came within the wait.
  bool Receiving() const { return receiving_; }
  Lc1Reader& Reader() { return reader_; }

  Lc1Line line;

 private:
  LiveLc1(EcuSession* session, Lc1Reader& reader) : session_(session), reader_(reader) {
    line.SetPeriodMs(5);
    reader_.Connect(line.Port());
    receiving_ = WaitFor([this] { return !reader_.NoData(); }, kWaitMs);
    if (session_) session_->SetLc1(&reader_);
  }

  EcuSession* session_;
  Lc1Events events_;
  Lc1Reader own_{events_};
  Lc1Reader& reader_;
  bool receiving_ = false;
};
