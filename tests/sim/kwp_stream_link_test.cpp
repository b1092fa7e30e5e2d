// The simulated ECU's stream switches against the program's own link: every
// packet reaches the session through noise and split packets, and a stream
// that ends without EE 88 returns the program to polling after its time-out.
#include "ecu/kwp.h"
#include "ecu/session.h"
#include "tests/link/link_rig.h"

namespace {

class StreamThroughTheLink : public LinkRig {};

TEST_F(StreamThroughTheLink, NoisySplitPacketsAllReachTheProgramAndAnEndedStreamReturnsItToPolling) {
  ecu->SetPacketIntervalMs(5);
  ecu->SetStreamNoise(4, 3);
  ecu->SetStreamSplit(4, 1);
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 1; }));
  session.SendRequest(ReqUnidirectionalMode);
  ASSERT_TRUE(WaitFor([&] { return session.UnidirMode(); }));
  // Sampled together on this thread: no hand-off runs in between.
  const int replies0 = ui.replyCount;
  const int sent0 = ecu->PacketsSent();
  ASSERT_TRUE(WaitFor([&] { return ecu->PacketsSent() >= sent0 + 60; }));
  ecu->StopStream();
  const int sent = ecu->PacketsSent();
  // However late a busy machine hands the last packets over, each one re-arms
  // the stream's time-out: all of them arrive while the mode still runs.
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount - replies0 >= sent - sent0; }, 20000));
  EXPECT_TRUE(session.UnidirMode());
  EXPECT_EQ(ecu->PacketsSent(), sent);
  // Each packet counted once (the ones handed over before the sample at most
  // make up the difference); none lost to the noise or the split.
  EXPECT_LE(ui.replyCount - replies0, sent);
  EXPECT_GT(ecu->NoiseBytesSent(), 0u);
  // A packet framed from noise would report another correction than the 0
  // asked for, and the program would send EE xx to put it right.
  EXPECT_TRUE(ecu->RawCommands().empty());

  // No EE 88 went out: the silence ends the mode, and polling resumes.
  ASSERT_TRUE(WaitFor([&] { return !session.UnidirMode(); }, 20000));
  const int polls = CountRequests(0x21);
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x21) >= polls + 3; }, 20000));
  EXPECT_EQ(session.LinkState().load(), 1);
}

}  // namespace
