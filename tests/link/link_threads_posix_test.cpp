// The link threads through the simulated adapter: what the transmitter sends
// and when, and how the receiver treats what it is not waiting for.
#include <gtest/gtest.h>

#include <algorithm>

#include "ecu/kwp.h"
#include "tests/link/link_rig.h"

namespace {

class LinkThreads : public LinkRig {};

TEST_F(LinkThreads, StopDropsPendingRequestsUnsent) {
  StartLine();
  ecu->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::EveryN, 1});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x81) == 1; }));
  // StartCommunication waits for its reply; these wait behind it.
  for (int i = 0; i < 3; ++i) RequestData();
  EXPECT_EQ(PendingRequests(), 3);
  EcuTeardown();
  EXPECT_TRUE(QueueEmpty());
  ASSERT_TRUE(WaitFor([] { return LiveWorkerCount() == 0; }));
  Pump(50);
  EXPECT_EQ(ecu->Requests().size(), 1u);
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(LinkThreads, SecondRequestLeavesOnlyAfterTheFirstExchange) {
  StartLine();
  ecu->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::Once, 1});
  ecu->SetLatencyMs(0);
  Connect(1);
  // Without the time-out the unanswered request stays awaited for good.
  StopLinkTimer();
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x81) == 1; }));
  // The unanswered StartCommunication keeps the transmitter busy.
  SendRequest(ReqStopCommunication);
  Pump(300);
  EXPECT_EQ(ecu->Requests().size(), 1u);
  EXPECT_EQ(PendingRequests(), 1);
}

TEST_F(LinkThreads, BytesOutsideAnExchangeAreDiscarded) {
  TCfg.DataInterval = 1000;
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(WaitLinkIdle());
  const int resets = ResetCount.load();
  const std::string before = TraceSnapshot();
  const std::uint64_t delivered = line->BytesToProgram();
  // Noise on an idle line: no Read line, no reset, the next exchange is clean.
  line->Run([this] { ecu->SendRaw({0x55, 0xAA, 0x83, 0xF1, 0x10}); });
  // The receiver has taken it (and dropped it) ...
  ASSERT_TRUE(WaitFor([&] { return line->BytesToProgram() >= delivered + 5 && KLineInQueue() == 0; }));
  Pump(50);  // ... and wrote nothing about it
  EXPECT_EQ(TraceSnapshot(), before);
  const int replies = ui.replyCount;
  RequestData();
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount == replies + 1; }));
  EXPECT_EQ(ResetCount.load(), resets);
}

TEST_F(LinkThreads, StopEndsAPauseOfAnyLengthAtOnce) {
  StartLine();
  TCfg.WriterPause = 65535;
  Connect(1);
  // StartCommunication leaves at once (nothing received yet); the session
  // request behind its reply waits out the 65 s pause.
  ASSERT_TRUE(WaitFor([] {
    const auto lines = TraceLines();
    return std::count(lines.begin(), lines.end(), TraceBeginWriterPauseLine()) == 2;
  }));
  EcuTeardown();
  EXPECT_TRUE(WaitFor([] { return LiveWorkerCount() == 0; }));
  EXPECT_EQ(CountRequests(0x10), 0);
}

TEST_F(LinkThreads, ReceiverOfAClosedPortEndsWithoutBeingAsked) {
  StartLine();
  ecu->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::EveryN, 1});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x81) == 1; }));
  // Disconnect while no session runs only closes the port.
  EcuDisconnect();
  EXPECT_EQ(PortHandle.load(), kNoPort);
  ASSERT_TRUE(WaitFor([] { return !LinkThreadsRunning(); }));
  // The link timer then ends the link quietly instead of waiting for the time-out.
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_TRUE(ui.errors.empty());
}

}  // namespace

namespace {

TEST_F(LinkThreads, ShutdownAtProgramEndEndsTheThreadsMidHandshake) {
  StartLine();
  ecu->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::EveryN, 1});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x81) == 1; }));
  EcuShutdown();
  EXPECT_TRUE(WaitFor([] { return LiveWorkerCount() == 0; }, 10000));
  EXPECT_EQ(PortHandle.load(), kNoPort);
  EXPECT_FALSE(LinkTimerActive());
  EXPECT_EQ(ui.refreshCount, 0);
}

}  // namespace
