#include "ecu/kwp.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/config.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(KwpRequests, EveryRequestOnTheWireWithItsChecksum) {
  EXPECT_EQ(WithChecksum(ReqStartCommunication), (Bytes{0x81, 0x10, 0xF1, 0x81, 0x03}));
  EXPECT_EQ(WithChecksum(ReqReadData), (Bytes{0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1}));
  EXPECT_EQ(WithChecksum(ReqUnidirectionalMode), (Bytes{0x83, 0x10, 0xF1, 0x30, 0x72, 0x01, 0x27}));
  EXPECT_EQ(WithChecksum(ReqStopDiagnosticSession), (Bytes{0x81, 0x10, 0xF1, 0x20, 0xA2}));
  EXPECT_EQ(WithChecksum(ReqStopCommunication), (Bytes{0x81, 0x10, 0xF1, 0x82, 0x04}));
}

TEST(KwpRequests, SessionRequestCarriesTheSpeedByteOfTheSpeedIndex) {
  const int saved = TCfg.CBR;
  const std::vector<Bytes> expected = {
      {0x83, 0x10, 0xF1, 0x10, 0x81, 0x0A, 0x1F},
      {0x83, 0x10, 0xF1, 0x10, 0x81, 0x26, 0x3B},
      {0x83, 0x10, 0xF1, 0x10, 0x81, 0x39, 0x4E},
  };
  for (int cbr = 0; cbr < 3; ++cbr) {
    TCfg.CBR = cbr;
    EXPECT_EQ(WithChecksum(BuildSessionRequest()), expected[cbr]) << "CBR " << cbr;
  }
  // A hand-edited index outside 0..2 asks for 10400 baud.
  TCfg.CBR = 7;
  EXPECT_EQ(WithChecksum(BuildSessionRequest()), expected[0]);
  TCfg.CBR = saved;
}

struct HeaderCase {
  const char* name;
  Bytes bytes;
  int expected;       // result of the parse
  int headerLen;      // bytes removed from the front
  std::uint16_t sum;  // sum of the header bytes
};

class ReplyHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ReplyHeader, ParsesOrRejects) {
  const HeaderCase& c = GetParam();
  MsgBlock buf{};
  std::copy(c.bytes.begin(), c.bytes.end(), buf.begin());
  std::uint8_t count = static_cast<std::uint8_t>(c.bytes.size());
  std::uint16_t sum = 0xBEEF;
  EXPECT_EQ(ParseReplyHeader(buf, count, sum), c.expected);
  if (c.expected < 0) {
    EXPECT_EQ(count, c.bytes.size());
    EXPECT_EQ(sum, 0xBEEF);
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), buf.begin()));
  } else {
    EXPECT_EQ(count, c.bytes.size() - c.headerLen);
    EXPECT_EQ(sum, c.sum);
    EXPECT_EQ(buf[0], c.bytes[c.headerLen]);  // the service identifier comes first
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyHeader,
    ::testing::Values(
        HeaderCase{"ShortHeader", {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F}, 4, 3, 0x83 + 0xF1 + 0x10},
        HeaderCase{"LengthByte", {0x80, 0xF1, 0x10, 0x61, 0x61, 0x0D}, 98, 4, 0x80 + 0xF1 + 0x10 + 0x61},
        HeaderCase{"SwappedAddressesOfAnEcho", {0x81, 0x10, 0xF1, 0x81}, -1, 0, 0},
        HeaderCase{"OnlyBitSevenIsTested", {0xC3, 0xF1, 0x10, 0x50}, 68, 3, 0xC3 + 0xF1 + 0x10},
        HeaderCase{"FormatBitSevenClear", {0x03, 0xF1, 0x10, 0x50}, -1, 0, 0},
        HeaderCase{"WrongSource", {0x83, 0xF1, 0x11, 0x50}, -1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KwpReply, ChecksumOfAReplyCoversHeaderAndData) {
  // 83 F1 10 C1 EF 8F and its checksum: the header sum plus the data sum.
  MsgBlock buf{};
  const Bytes reply = WithChecksum({0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F});
  std::copy(reply.begin(), reply.end(), buf.begin());
  std::uint8_t count = static_cast<std::uint8_t>(reply.size());
  std::uint16_t sum = 0;
  ASSERT_EQ(ParseReplyHeader(buf, count, sum), 4);
  ASSERT_EQ(count, 4);
  const std::uint16_t total = static_cast<std::uint16_t>(sum + Sum16(buf.data(), count - 1));
  EXPECT_EQ(total & 0xFF, buf[count - 1]);
}

}  // namespace
