// The receiver in the packet stream: a byte that arrives alone and is never
// followed (line noise after the stream ended) must not keep it busy while it
// waits, and a receiver that has fallen behind the stream must still read
// everything waiting.

#include <time.h>

#include "ecu/kwp.h"
#include "tests/link/link_rig.h"

namespace {

double ProcessCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

class ReceiverIdle : public LinkRig {};

TEST_F(ReceiverIdle, StrayByteAfterTheStreamEndsCostsNoProcessorTime) {
  StartLine();
  Connect(2);
  ASSERT_TRUE(WaitSession());
  session.SendRequest(ReqUnidirectionalMode);
  ASSERT_TRUE(WaitFor([&] { return session.UnidirMode(); }));
  // The stream's time-out must not end the mode during the measurement,
  // however slowly a busy machine gets there.
  session.Link()->StopTimer();
  // Sampled together on this thread: no hand-off runs in between.
  const int replies0 = ui.replyCount;
  const int sent0 = ecu->PacketsSent();
  ASSERT_TRUE(WaitFor([&] { return ecu->PacketsSent() >= sent0 + 3; }));
  ecu->StopStream();
  const int sent = ecu->PacketsSent();
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount - replies0 >= sent - sent0; }));
  // Half a sync pair: the receiver needs a second byte that never comes.
  const std::uint64_t delivered = line->BytesToProgram();
  line->Run([&] { ecu->SendRaw({0xA5}); });
  ASSERT_TRUE(WaitFor([&] { return line->BytesToProgram() > delivered; }));
  ASSERT_TRUE(session.UnidirMode());
  const double before = ProcessCpuMs();
  Pump(800);
  const double used = ProcessCpuMs() - before;
  ASSERT_TRUE(session.UnidirMode());
  // Waking every byte time (174 us at 57600 baud) costs tens of ms here.
  EXPECT_LT(used, 20.0);
}

// More than 255 bytes waiting while a packet lacks 3: the count of waiting
// bytes taken in 8 bits (257 -> 1) must not make the receiver wait for more.
TEST_F(ReceiverIdle, ReceiverFallenBehindTheStreamReadsEverythingWaiting) {
  ecu->SetPacketIntervalMs(1e7);  // the test puts the stream on the line itself
  StartLine();
  Connect(2);
  ASSERT_TRUE(WaitSession());
  session.SendRequest(ReqUnidirectionalMode);
  ASSERT_TRUE(WaitFor([&] { return session.UnidirMode(); }));
  session.Link()->StopTimer();  // no time-out: a stuck receiver stays stuck
  const auto packet = sim::KwpEcu::IdlePacket(0);
  std::vector<std::uint8_t> bytes;
  auto addPacket = [&] {
    bytes.push_back(sim::KwpEcu::kSync0);
    bytes.push_back(sim::KwpEcu::kSync1);
    bytes.insert(bytes.end(), packet.begin(), packet.end());
  };
  const int replies0 = ui.replyCount;
  // One packet and the first 4 bytes of the next: the receiver hands the
  // packet over and waits for the other 3.
  addPacket();
  addPacket();
  bytes.resize(bytes.size() - 3);
  line->Run([&] { ecu->SendRaw(bytes); });
  ASSERT_TRUE(WaitFor([&] {
    const auto lines = TraceLines();
    return ui.replyCount - replies0 == 1 && !lines.empty() && lines.back() == TraceWaitMsgEndLine(4, 7);
  }));
  // Then they come at once with 28 packets and 2 noise bytes: 257.
  bytes.assign(packet.end() - 3, packet.end());
  for (int i = 0; i < 28; ++i) addPacket();
  bytes.push_back(0x00);
  bytes.push_back(0x02);
  line->Run([&] { ecu->SendRaw(bytes); });
  EXPECT_TRUE(WaitFor([&] { return ui.replyCount - replies0 == 30; })) << ui.replyCount - replies0;
}

}  // namespace
