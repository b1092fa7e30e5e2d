// The K-line framer on its own: bytes in, events out, without threads or ports.
#include "link/framing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Event = KLineFramer::Event;

const Bytes kDataRequest = {0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1};
// 83 F1 10 C1 EF 8F and its checksum: the reply to StartCommunication.
const Bytes kStartReply = {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};
// 82 F1 10 70 72 and its checksum: the packet stream is on.
const Bytes kUnidirReply = {0x82, 0xF1, 0x10, 0x70, 0x72, 0x65};
const Bytes kPacket = {0xA5, 0x05, 0x14, 0x10, 0x27, 0xFC, 0x80, 0x00, 0x01};  // sync and 7 bytes

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class Framing : public ::testing::Test {
 protected:
  void ArmForRequest(const Bytes& request) {
    framer.Arm(RxEcho, request.data(), static_cast<int>(request.size()));
  }
  void Feed(const Bytes& bytes) { framer.Append(bytes.data(), static_cast<int>(bytes.size())); }
  Bytes Message() const {
    return {framer.Buffer().begin(), framer.Buffer().begin() + framer.MessageLength()};
  }
  KLineFramer framer;
};

TEST_F(Framing, EchoAndReplyInOneReadGiveTheReplyFromItsServiceIdentifier) {
  ArmForRequest(kDataRequest);
  EXPECT_EQ(framer.Missing(false), 6);
  Feed(Cat({kDataRequest, kStartReply}));
  EXPECT_EQ(framer.Next(false), Event::Reply);
  EXPECT_EQ(Message(), (Bytes{0xC1, 0xEF, 0x8F, 0xC3}));
  framer.MessageHandled(false);
  EXPECT_EQ(framer.State(), RxIdle);
  EXPECT_EQ(framer.Missing(false), -1);
}

TEST_F(Framing, ReplySplitAcrossReadsWaitsForItsBody) {
  ArmForRequest(kDataRequest);
  Feed(Cat({kDataRequest, {0x83, 0xF1, 0x10, 0xC1}}));
  EXPECT_EQ(framer.Next(false), Event::WaitBody);
  EXPECT_EQ(framer.Count(), 1);
  EXPECT_EQ(framer.Expected(), 4);
  EXPECT_EQ(framer.Missing(false), 3);
  Feed({0xEF, 0x8F, 0xC3});
  EXPECT_EQ(framer.Next(false), Event::Reply);
}

TEST_F(Framing, GarbledExchangesAreReportedAsSuch) {
  ArmForRequest(kDataRequest);
  Feed({0x82, 0x10, 0xF1, 0x21, 0x0C, 0xB1});
  EXPECT_EQ(framer.Next(false), Event::BadEcho);

  ArmForRequest(kDataRequest);
  Feed(Cat({kDataRequest, {0x83, 0x10, 0xF1, 0xC1}}));  // addresses of a request
  EXPECT_EQ(framer.Next(false), Event::BadHeader);

  // A length byte announcing 256 bytes cannot fit the buffer.
  framer.Arm(RxHeader);
  Feed({0x80, 0xF1, 0x10, 0xFF});
  EXPECT_EQ(framer.Next(false), Event::BadHeader);

  Bytes wrongSum = kStartReply;
  wrongSum.back() ^= 1;
  framer.Arm(RxHeader);
  Feed(wrongSum);
  EXPECT_EQ(framer.Next(false), Event::BadChecksum);
}

TEST_F(Framing, ReplyThatStartsTheStreamLeavesThePacketBehindItForTheStream) {
  framer.Arm(RxHeader);
  Feed(Cat({kUnidirReply, kPacket}));
  ASSERT_EQ(framer.Next(false), Event::Reply);
  EXPECT_EQ(Message(), (Bytes{0x70, 0x72, 0x65}));
  framer.MessageHandled(true);  // the hand-off switched to the stream
  ASSERT_EQ(framer.Next(true), Event::Packet);
  EXPECT_EQ(Message(), Bytes(kPacket.begin() + 2, kPacket.end()));
}

TEST_F(Framing, PacketsAreFoundBehindNoiseAndAcrossReads) {
  framer.Arm(RxHeader);
  // Noise, then two packets and the first half of a third sync pair.
  Feed(Cat({{0x00, 0x13}, kPacket, kPacket, {0xA5}}));
  ASSERT_EQ(framer.Next(true), Event::Packet);
  EXPECT_EQ(framer.MessageLength(), 7 + 9 + 1);  // the bytes behind it go along
  framer.MessageHandled(true);
  ASSERT_EQ(framer.Next(true), Event::Packet);
  framer.MessageHandled(true);
  EXPECT_EQ(framer.Count(), 1);
  EXPECT_EQ(framer.Next(true), Event::None);

  // The pair's second half comes with the next read.
  Feed(Bytes(kPacket.begin() + 1, kPacket.end()));
  ASSERT_EQ(framer.Next(true), Event::Packet);
  EXPECT_EQ(Message(), Bytes(kPacket.begin() + 2, kPacket.end()));
}

TEST_F(Framing, NoSyncKeepsOnlyTheLastByte) {
  framer.Arm(RxHeader);
  Feed({0x01, 0x02, 0x03, 0xA5});
  EXPECT_EQ(framer.Next(true), Event::NoSync);
  EXPECT_EQ(framer.Count(), 1);
  EXPECT_EQ(framer.Buffer()[0], 0xA5);
}

}  // namespace
