// The ECU session through the simulated adapter and ECU: handshake, polling,
// disconnect, refusals, repeats and the ways a link ends. The same tests on
// every system (tests/link/kwp_line_rig.h).
#include <gtest/gtest.h>

#include <algorithm>

#include "ecu/csvlog.h"
#include "ecu/ecu_data.h"
#include "ecu/kwp.h"
#include "tests/link/kwp_line_rig.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class Session : public KwpLineRig {};

struct SpeedCase {
  int cbr;
  std::uint32_t baud;
  Bytes sessionRequest;
};

class Handshake : public KwpLineRig, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(Handshake, SendsTheExactBytesAndSwitchesSpeedOnlyAfterTheSessionReply) {
  const SpeedCase& c = GetParam();
  StartLine();
  // A slow session reply leaves time to see the line still at 10400 baud.
  line->AddFault({sim::KwpFaultKind::LateReply, sim::FaultWhen::Once, 1, 0x10});
  line->SetLateMs(300);
  Connect(c.cbr);
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x10) == 1; }));
  if (LinesShowEveryRate()) {
    EXPECT_EQ(line->ProgramSettings().baud, 10400u);
  }
  EXPECT_EQ(session.LinkState().load(), 0);
  ASSERT_TRUE(WaitSession());
  if (LinesShowEveryRate() || c.baud != 10400) {
    EXPECT_EQ(line->ProgramSettings().baud, c.baud);
  }
  EXPECT_TRUE(session.Polling());
  EXPECT_GE(ui.refreshCount, 1);
  EXPECT_EQ(ui.replyCountResets, 1);

  // DataInterval 0: the first data request follows the session reply at once.
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 3; }));
  const auto requests = line->Requests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0].bytes, (Bytes{0x81, 0x10, 0xF1, 0x81, 0x03}));
  EXPECT_EQ(requests[0].baud, 10400u);
  EXPECT_EQ(requests[1].bytes, c.sessionRequest);
  EXPECT_EQ(requests[1].baud, 10400u);
  EXPECT_EQ(requests[2].bytes, (Bytes{0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1}));
  EXPECT_EQ(requests[2].baud, c.baud);
  EXPECT_EQ(session.Link()->ResetCount(), 0);
  EXPECT_EQ(session.Link()->ChecksumErrorCount(), 0);
  EXPECT_GT(ui.displayUpdates, 0);
  EXPECT_EQ(session.Data().AFR_LC1, -1.0);  // no LC-1 in use
  EXPECT_TRUE(ui.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Speeds, Handshake,
                         ::testing::Values(SpeedCase{0, 10400, {0x83, 0x10, 0xF1, 0x10, 0x81, 0x0A, 0x1F}},
                                           SpeedCase{1, 38400, {0x83, 0x10, 0xF1, 0x10, 0x81, 0x26, 0x3B}},
                                           SpeedCase{2, 57600, {0x83, 0x10, 0xF1, 0x10, 0x81, 0x39, 0x4E}}),
                         [](const auto& info) { return "Cbr" + std::to_string(info.param.cbr); });

TEST_F(Session, DataFrameIsDecodedIntoEcuData) {
  StartLine();
  std::array<std::uint8_t, 95> r{};
  r[14] = 0xE8;  // RPM 5000
  r[15] = 0x03;
  r[8] = 0xA8;   // TWAT -128
  r[20] = 0xF6;  // UOZ -5.0
  r[81] = 50;    // DUOZ_LAUNCH 44
  r[3] = 0x01;   // ERR 513
  r[4] = 0x02;
  r[0] = 0x81;  // fSTOP, fLEARN
  line->SetRecord(r);
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 1; }));
  EXPECT_EQ(session.Data().RPM, 5000);
  EXPECT_EQ(session.Data().TWAT, -128);
  EXPECT_DOUBLE_EQ(session.Data().UOZ, -5.0);
  EXPECT_EQ(session.Data().DUOZ_LAUNCH, 44);
  EXPECT_EQ(session.Data().ERR, 513u);
  EXPECT_EQ(session.Data().fSTOP, 1);
  EXPECT_EQ(session.Data().fLEARN, 1);
  EXPECT_EQ(session.Data().fXX, 0);
}

TEST_F(Session, PollsEveryDataIntervalWhenItIsSet) {
  TCfg.DataInterval = 150;
  StartLine();
  // The connect command: the session's timer polls at DataInterval.
  session.ConnectCommand(PortName(), 2, false, true);
  EXPECT_EQ(session.PollInterval(), 150);
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 4; }));
  // One request per tick, each answered before the next: nothing piles up.
  EXPECT_LE(session.Link()->PendingRequests(), 1);
  EXPECT_GE(session.Link()->ResponseTimeMs(), 0);
  EXPECT_FALSE(ui.responseTimes.empty());
}

TEST_F(Session, DisconnectRunsStopSessionThenStopCommunicationThenTearsDown) {
  TCfg.WriteLog = 1;
  StartLine();
  Connect(2);
  ASSERT_TRUE(WaitSession());
  EXPECT_TRUE(session.Log().IsOpen());
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 2; }));
  session.SetPolling(false);  // the disconnect command stops polling first
  const int refreshes = ui.refreshCount;
  session.Disconnect();
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_EQ(session.LinkState().load(), 0);
  EXPECT_FALSE(session.Log().IsOpen());
  EXPECT_GT(ui.refreshCount, refreshes);
  EXPECT_TRUE(ui.errors.empty());

  const auto requests = line->Requests();
  ASSERT_GE(requests.size(), 2u);
  const auto& stopSession = requests[requests.size() - 2];
  const auto& stopComm = requests.back();
  EXPECT_EQ(stopSession.bytes, (Bytes{0x81, 0x10, 0xF1, 0x20, 0xA2}));
  EXPECT_EQ(stopSession.baud, 57600u);
  EXPECT_EQ(stopComm.bytes, (Bytes{0x81, 0x10, 0xF1, 0x82, 0x04}));
  EXPECT_EQ(stopComm.baud, 10400u);  // back at 10400 after the 60 reply
  // The C2 reply ended the link inside its hand-off; its MsgEnd is still traced.
  const auto lines = TraceLines();
  const auto lastRead = std::find_if(lines.rbegin(), lines.rend(),
                                     [](const std::string& l) { return l.rfind(" Read ", 0) == 0; });
  ASSERT_NE(lastRead, lines.rend());
  EXPECT_NE(std::find(lines.rbegin(), lastRead, TraceMsgEndLine()), lastRead);
}

TEST_F(Session, RefusedSpeedClosesTheLinkWithItsMessageAndLeavesTheControls) {
  StartLine();
  line->RefuseSpeedByte(0x39);
  Connect(2);
  ASSERT_TRUE(WaitLinkEnd());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kSpeedRefusedText);
  EXPECT_EQ(ui.refreshCount, 0);  // connect stays disabled until the settings dialog
  EXPECT_EQ(session.NegativeReplyCount().load(), 1u);
  EXPECT_EQ(ui.status[6], "1");
  EXPECT_EQ(session.LinkState().load(), 0);
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(Session, SixGarbledStartRepliesGiveFiveRepeatsAndThenTheEnd) {
  StartLine();
  line->AddFault({sim::KwpFaultKind::BadHeader, sim::FaultWhen::EveryN, 1, 0x81});
  Connect(1);
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_EQ(CountRequests(0x81), 6);
  EXPECT_EQ(session.Link()->ResetCount(), 6);
  EXPECT_EQ(ui.status[4], "6");
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], kNoAnswerText);
  // The last reset, which ended the link, is traced too.
  const auto lines = TraceLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), TraceResetLine()), 6);
}

TEST_F(Session, GarbledEchoIsResetAndRepeated) {
  StartLine();
  line->AddFault({sim::KwpFaultKind::CorruptEcho, sim::FaultWhen::Once, 3});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 3; }));
  EXPECT_EQ(session.Link()->ResetCount(), 1);
  EXPECT_EQ(session.LinkState().load(), 1);
}

TEST_F(Session, NegativeReplyToDataRequestOnlyCounts) {
  StartLine();
  line->AddFault({sim::KwpFaultKind::NegativeReply, sim::FaultWhen::Once, 2, 0x21});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 4; }));
  EXPECT_EQ(session.NegativeReplyCount().load(), 1u);
  EXPECT_EQ(ui.status[6], "1");
  EXPECT_EQ(session.LinkState().load(), 1);
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Session, NegativeReplyToStartCommunicationEndsTheConnectQuietly) {
  StartLine();
  line->AddFault({sim::KwpFaultKind::NegativeReply, sim::FaultWhen::Once, 1, 0x81});
  Connect(1);
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_EQ(session.NegativeReplyCount().load(), 1u);
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_GE(ui.refreshCount, 1);
}

TEST_F(Session, ChecksumErrorsAreCountedAndPollingGoesOn) {
  StartLine();
  line->AddFault({sim::KwpFaultKind::BadChecksum, sim::FaultWhen::EveryN, 3, 0x21});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return session.Link()->ChecksumErrorCount() >= 2 && ui.replyCount >= 6; }));
  EXPECT_EQ(ui.status[5], std::to_string(session.Link()->ChecksumErrorCount()).c_str());
  EXPECT_EQ(session.Link()->ResetCount(), 0);
  EXPECT_EQ(session.LinkState().load(), 1);
}

TEST_F(Session, TrailingBytesAfterAReplyAreDroppedAndPollingGoesOn) {
  StartLine();
  line->AddFault({sim::KwpFaultKind::ExtraBytes, sim::FaultWhen::Once, 2, 0x21});
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 4; }));
  EXPECT_EQ(session.LinkState().load(), 1);
  // The reply ends where its header says: its checksum is right.
  EXPECT_EQ(session.Link()->ChecksumErrorCount(), 0);
}

TEST_F(Session, SilenceEndsTheLinkOnTheTenthTick) {
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 1; }));
  // Count the ticks by hand.
  session.Link()->StopTimer();
  // Polling off, and the exchange under way ended: no reply is on its way.
  session.SetPolling(false);
  ASSERT_TRUE(WaitLinkIdle());
  line->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::EveryN, 1});
  session.RequestData();
  ASSERT_TRUE(WaitFor([&] { return session.Link()->ReplyCountdown() == 10; }));
  for (int tick = 1; tick < 10; ++tick) {
    session.Link()->TimerTick();
    ASSERT_EQ(session.LinkState().load(), 1) << "tick " << tick;
  }
  EXPECT_TRUE(ui.errors.empty());
  session.Link()->TimerTick();
  EXPECT_EQ(session.LinkState().load(), 0);
  EXPECT_FALSE(session.Polling());
  EXPECT_FALSE(session.PortOpen());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], kNoAnswerText);
}

TEST_F(Session, LateReplyEndsTheLinkWithTheNoAnswerMessage) {
  StartLine();
  line->SetLateMs(1500);
  line->AddFault({sim::KwpFaultKind::LateReply, sim::FaultWhen::Once, 3, 0x21});
  Connect(1);
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_EQ(session.LinkState().load(), 0);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], kNoAnswerText);
}

TEST_F(Session, TimeOutDuringADeferredCloseJustClosesTheWindow) {
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitSession());
  line->AddFault({sim::KwpFaultKind::NoReply, sim::FaultWhen::EveryN, 1});
  ui.closeDeferred = true;
  session.SetPolling(false);
  session.Disconnect();
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_EQ(ui.closeRequests, 1);
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Session, CloseDuringASessionEndsTheSessionThenClosesTheWindow) {
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 1; }));
  ui.closeDeferred = true;
  session.SetPolling(false);
  session.Disconnect();
  ASSERT_TRUE(WaitFor([&] { return ui.closeRequests == 1; }));
  EXPECT_EQ(CountRequests(0x20), 1);
  EXPECT_EQ(CountRequests(0x82), 1);
  EXPECT_EQ(session.LinkState().load(), 0);
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(Session, PortVanishingMidSessionEndsTheLinkWithAMessage) {
  StartLine();
  line->AddFault({sim::KwpFaultKind::Vanish, sim::FaultWhen::Once, 3, 0x21});
  Connect(1);
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_EQ(session.LinkState().load(), 0);
  EXPECT_FALSE(session.Polling());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_FALSE(ui.errors[0].empty());
}

TEST_F(Session, TraceOfOneExchangeIsInTheDocumentedOrder) {
  TCfg.DataInterval = 500;
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(WaitLinkIdle());
  ClearTrace();
  session.RequestData();
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount == 1; }));
  ASSERT_TRUE(WaitLinkIdle());
  std::vector<std::string> lines = TraceLines();
  // The transmitter's lines up to its write come first. Its StopWriter, traced
  // once the write returns, may land among the receiver's reads: a loaded
  // machine can run the receiver first.
  const std::vector<std::string> expected = {TraceRunWriterLine(), TraceStartWriterLine(),
                                             TraceBeginWriterPauseLine(), TraceEndWriterPauseLine(),
                                             " Write:  82 10 F1 21 0D B1"};
  ASSERT_GE(lines.size(), expected.size() + 3);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i;
  lines.erase(lines.begin(), lines.begin() + expected.size());
  const auto stop = std::find(lines.begin(), lines.end(), TraceStopWriterLine());
  ASSERT_NE(stop, lines.end());
  lines.erase(stop);
  // Then the reads, the first repeating the request, and the end of the message.
  EXPECT_EQ(lines[0].rfind(" Read ", 0), 0u);
  EXPECT_NE(lines[0].find("(B) :  82 10 F1 21 0D B1"), std::string::npos);
  const auto end = std::find(lines.begin(), lines.end(), TraceMsgEndLine());
  ASSERT_NE(end, lines.end());
  for (auto l = lines.begin(); l != end; ++l)
    EXPECT_TRUE(l->rfind(" Read ", 0) == 0 || l->rfind(" (WaitMsgEnd:", 0) == 0) << *l;
  // The end of the exchange wakes the transmitter, which finds nothing to send.
  EXPECT_EQ(std::vector<std::string>(end + 1, lines.end()),
            (std::vector<std::string>{TraceStartWriterLine(), TraceStopWriterLine()}));
}

TEST_F(Session, EchoAndReplyInOneReadAreSplitInTheSamePass) {
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 20; }));
  // At no wire time the echo and the reply reach the port together.
  bool together = false;
  for (const auto& l : TraceLines())
    if (l.find(" 82 10 F1 21 0D B1 80 F1 10 61") != std::string::npos) together = true;
  EXPECT_TRUE(together);
  EXPECT_EQ(session.Link()->ResetCount(), 0);
}

TEST_F(Session, WithoutEchoTheReplyIsFramedDirectly) {
  TCfg.Echo = 0;
  StartLine(0.0, false);
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 3; }));
  EXPECT_EQ(session.Link()->ResetCount(), 0);
}

TEST_F(Session, UnidirectionalModeStreamsPacketsAndReturnsAfterTheSwitchBack) {
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 1; }));
  session.RequestedCorrUOZ() = -3;
  session.SendRequest(ReqUnidirectionalMode);
  ASSERT_TRUE(WaitFor([&] { return session.UnidirMode(); }));
  EXPECT_EQ(ui.status[3], "1");
  // The correction is sent until the packets report it.
  ASSERT_TRUE(WaitFor([&] { return line->CorrectionTimes2() == -6 && line->PacketsSent() >= 5; }));
  const auto raw = line->RawCommands();
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw[0], 0xEE);
  EXPECT_EQ(raw[1], 0xFA);
  session.LeaveUnidirRequest() = 1;
  ASSERT_TRUE(WaitFor([&] { return !line->Streaming(); }));
  ASSERT_TRUE(WaitFor([&] { return !session.UnidirMode(); }, 20000));
  EXPECT_EQ(ui.status[3], "0");
  EXPECT_NE(TraceText().find(TraceSendSwitchToBModeLine()), std::string::npos);
  EXPECT_NE(TraceText().find(TraceUModeTimeOutLine()), std::string::npos);
  // Polling resumes in request/reply mode.
  const int replies = ui.replyCount;
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= replies + 3; }));
  EXPECT_EQ(session.LinkState().load(), 1);
}

}  // namespace
