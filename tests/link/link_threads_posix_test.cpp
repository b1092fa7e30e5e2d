// The link threads through the simulated adapter: what the transmitter sends
// and when, and how the receiver treats what it is not waiting for.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ecu/kwp.h"
#include "tests/link/link_rig.h"
#include "tests/link/reply_log.h"

namespace {

class LinkThreads : public LinkRig {};

TEST_F(LinkThreads, StopDropsPendingRequestsUnsent) {
  StartLine();
  ecu->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::EveryN, 1});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x81) == 1; }));
  // StartCommunication waits for its reply; these wait behind it.
  for (int i = 0; i < 3; ++i) session.RequestData();
  EXPECT_EQ(session.Link()->PendingRequests(), 3);
  session.Teardown();
  EXPECT_TRUE(session.Link()->QueueEmpty());
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
  session.Link()->StopTimer();
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x81) == 1; }));
  // The unanswered StartCommunication keeps the transmitter busy.
  session.SendRequest(ReqStopCommunication);
  Pump(300);
  EXPECT_EQ(ecu->Requests().size(), 1u);
  EXPECT_EQ(session.Link()->PendingRequests(), 1);
}

TEST_F(LinkThreads, BytesOutsideAnExchangeAreDiscarded) {
  TCfg.DataInterval = 1000;
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(WaitLinkIdle());
  const int resets = session.Link()->ResetCount();
  const std::string before = TraceText();
  const std::uint64_t delivered = line->BytesToProgram();
  // Noise on an idle line: no Read line, no reset, the next exchange is clean.
  line->Run([this] { ecu->SendRaw({0x55, 0xAA, 0x83, 0xF1, 0x10}); });
  // The receiver has taken it (and dropped it) ...
  ASSERT_TRUE(
      WaitFor([&] { return line->BytesToProgram() >= delivered + 5 && session.Port()->InQueue() == 0; }));
  Pump(50);  // ... and wrote nothing about it
  EXPECT_EQ(TraceText(), before);
  const int replies = ui.replyCount;
  session.RequestData();
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount == replies + 1; }));
  EXPECT_EQ(session.Link()->ResetCount(), resets);
}

TEST_F(LinkThreads, StopEndsAPauseOfAnyLengthAtOnce) {
  StartLine();
  TCfg.WriterPause = 65535;
  Connect(1);
  // StartCommunication leaves at once (nothing received yet); the session
  // request behind its reply waits out the 65 s pause.
  ASSERT_TRUE(WaitFor([this] {
    const auto lines = TraceLines();
    return std::count(lines.begin(), lines.end(), TraceBeginWriterPauseLine()) == 2;
  }));
  session.Teardown();
  EXPECT_TRUE(WaitFor([] { return LiveWorkerCount() == 0; }));
  EXPECT_EQ(CountRequests(0x10), 0);
}

TEST_F(LinkThreads, ReceiverOfAClosedPortEndsWithoutBeingAsked) {
  StartLine();
  ecu->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::EveryN, 1});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x81) == 1; }));
  // Disconnect while no session runs only closes the port.
  session.Disconnect();
  EXPECT_FALSE(session.PortOpen());
  ASSERT_TRUE(WaitFor([&] { return !session.Link()->ThreadsRunning(); }));
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
  session.Shutdown();
  EXPECT_TRUE(WaitFor([] { return LiveWorkerCount() == 0; }, 10000));
  EXPECT_FALSE(session.PortOpen());
  EXPECT_FALSE(session.LinkActive());
  EXPECT_EQ(ui.refreshCount, 0);
}

}  // namespace

namespace {

// One ECU behind its own line, its port and its link.
struct LinkSide {
  LinkSide(const std::string& path, LinkClient& client) {
    sim::SimLineOptions o;
    o.timeScale = 0.0;
    o.absorbWakeByte = true;
    line = std::make_unique<sim::SimLine>(path, std::make_shared<sim::SimEcuSwitch>(ecu, nullptr), o);
    port = KLinePort::OpenForEcu(line->LinkPath(), 0);
    link = std::make_unique<KLineLink>(*port, client, trace);
  }
  ~LinkSide() {
    link->Stop();
    port->Close();
  }
  std::shared_ptr<sim::KwpEcu> ecu = std::make_shared<sim::KwpEcu>();
  std::unique_ptr<sim::SimLine> line;
  std::unique_ptr<KLinePort> port;
  std::shared_ptr<ExchangeTrace> trace = std::make_shared<ExchangeTrace>();
  std::unique_ptr<KLineLink> link;
};

TEST(TwoLinks, EachTalksOnlyToItsOwnEcuAndStopsAlone) {
  RecordingUi ui;
  TempDir dir;
  TCfg.Echo = 1;
  TCfg.WriterPause = 20;
  MsgBlock start{0x81, 0x10, 0xF1, 0x81, 0x03};
  ReplyLog clientA, clientB;
  {
    LinkSide a(dir.File("a"), clientA), b(dir.File("b"), clientB);
    ASSERT_TRUE(a.link->QueueRequest(start, 5));
    ASSERT_TRUE(b.link->QueueRequest(start, 5));
    ASSERT_TRUE(WaitFor([&] { return clientA.replies.size() == 1 && clientB.replies.size() == 1; }, 10000));
    EXPECT_EQ(clientA.replies[0], 0xC1);
    EXPECT_EQ(clientB.replies[0], 0xC1);
    EXPECT_EQ(a.ecu->Requests().size(), 1u);

    // Stopping one link leaves the other running.
    a.link->Stop();
    a.port->Close();
    ASSERT_TRUE(WaitFor([&] { return b.link->WriterIdle() && b.link->QueueEmpty(); }, 10000));
    ASSERT_TRUE(b.link->QueueRequest(start, 5));
    ASSERT_TRUE(WaitFor([&] { return clientB.replies.size() == 2; }, 10000));
    EXPECT_TRUE(b.link->ThreadsRunning());
    EXPECT_EQ(a.ecu->Requests().size(), 1u);
    EXPECT_EQ(b.ecu->Requests().size(), 2u);
    EXPECT_EQ(clientA.replies.size(), 1u);
  }
  EXPECT_TRUE(WaitFor([] { return LiveWorkerCount() == 0; }, 5000));
}

}  // namespace
