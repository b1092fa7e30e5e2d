// The ECU session with a twist on the simulated ECU's own thread, which only
// a test in the simulator's process can add.
#include <gtest/gtest.h>

#include <algorithm>

#include "ecu/kwp.h"
#include "tests/link/link_rig.h"
#include "tests/support/kwp_ecu_wrapper.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class SessionStream : public LinkRig {};

// The ECU with its first crank packet right behind the reply that starts the
// stream, so both reach the program in one read.
class EagerStreamEcu : public KwpEcuWrapper {
 public:
  using KwpEcuWrapper::KwpEcuWrapper;
  void Receive(std::uint8_t b, const sim::LineSettings& program) override {
    const bool streaming = Ecu().Streaming();
    KwpEcuWrapper::Receive(b, program);
    if (streaming || !Ecu().Streaming()) return;
    const auto packet = sim::KwpEcu::IdlePacket(0);
    Bytes bytes(2 + packet.size());
    bytes[0] = sim::KwpEcu::kSync0;
    bytes[1] = sim::KwpEcu::kSync1;
    std::copy(packet.begin(), packet.end(), bytes.begin() + 2);
    Send(bytes);
  }
};

TEST_F(SessionStream, FirstPacketInTheReadOfTheStreamsReplyStillEntersTheStream) {
  StartLine();
  const std::string path = line->LinkPath();
  line.reset();
  sim::SimLineOptions o;
  o.timeScale = 0;
  o.absorbWakeByte = true;
  line = std::make_unique<sim::SimLine>(path, std::make_shared<EagerStreamEcu>(ecu), o);
  Connect(1);
  ASSERT_TRUE(WaitSession());
  session.SetPolling(false);  // no data request in between
  ASSERT_TRUE(WaitLinkIdle());
  const int replies = ui.replyCount;
  session.SendRequest(ReqUnidirectionalMode);
  ASSERT_TRUE(WaitFor([&] { return session.UnidirMode(); }));
  // The packet that came with the reply and those after it are all taken.
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= replies + 3; }));
  EXPECT_EQ(session.Link()->ChecksumErrorCount(), 0);
  EXPECT_EQ(session.Link()->ResetCount(), 0);
}

}  // namespace
