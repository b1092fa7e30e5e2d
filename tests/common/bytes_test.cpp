#include "common/bytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ChecksumTest, AppendChecksumStoresTheLowByteOfTheSum) {
  struct Case {
    Bytes frame;
    std::uint8_t checksum;
  } cases[] = {
      {{}, 0x00},
      {{0x81, 0x10, 0xF1, 0x81}, 0x03},
      {{0x82, 0x10, 0xF1, 0x21, 0x0D}, 0xB1},
      {{0xFF, 0xFF}, 0xFE},
  };
  for (const auto& c : cases) {
    MsgBlock block{};
    std::copy(c.frame.begin(), c.frame.end(), block.begin());
    std::uint8_t len = static_cast<std::uint8_t>(c.frame.size());
    AppendChecksum(block, len);
    EXPECT_EQ(len, c.frame.size() + 1);
    EXPECT_EQ(block[c.frame.size()], c.checksum);
  }
}

TEST(ChecksumTest, Sum16WrapsAndIgnoresNonPositiveCounts) {
  Bytes ff(258, 0xFF);
  EXPECT_EQ(Sum16(ff.data(), 258), 254);  // 258 x 255 = 65790 = 65536 + 254
  EXPECT_EQ(Sum16(ff.data(), 0), 0);
  EXPECT_EQ(Sum16(ff.data(), -3), 0);
  Bytes hdr{0x80, 0xF1, 0x10, 0x61};
  EXPECT_EQ(Sum16(hdr.data(), 4), 0x80 + 0xF1 + 0x10 + 0x61);
}

TEST(BytesTest, AppendBytesCopiesAtTheOffsetAndNeverPastTheBlock) {
  MsgBlock block{};
  Bytes src(300, 0xAB);
  EXPECT_EQ(AppendBytes(block, src.data(), 0, 3), 3);
  EXPECT_EQ(AppendBytes(block, src.data(), 3, 0), 3);
  EXPECT_EQ(block[2], 0xAB);
  EXPECT_EQ(block[3], 0x00);
  // A copy that would run past 258 bytes is cut at the block's end.
  EXPECT_EQ(AppendBytes(block, src.data(), 250, 20), 258);
  EXPECT_EQ(block[257], 0xAB);
  EXPECT_EQ(AppendBytes(block, src.data(), 258, 5), 258);
}

TEST(BytesTest, BytesEqualComparesThePrefix) {
  Bytes a{1, 2, 3, 4}, b{1, 2, 3, 9};
  EXPECT_TRUE(BytesEqual(a.data(), b.data(), 3));
  EXPECT_FALSE(BytesEqual(a.data(), b.data(), 4));
  EXPECT_TRUE(BytesEqual(a.data(), b.data(), 0));
  EXPECT_TRUE(BytesEqual(a.data(), b.data(), -1));
}

}  // namespace
