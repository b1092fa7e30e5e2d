// The LC-1 packet values, the header masks, the framing of the stream and the
// silence count, without a port or a thread.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "lambda/lc1_framer.h"
#include "lambda/lc1_reading.h"
#include "sim/lc1.h"

namespace {

struct DecodeCase {
  const char* name;
  std::array<std::uint8_t, 4> body;
  double value;
};

// Body bytes for function f, multiplier af and reading l.
std::array<std::uint8_t, 4> Body(int f, int af, int l) {
  return {static_cast<std::uint8_t>((f << 2) | (af >> 7)), static_cast<std::uint8_t>(af & 0x7F),
          static_cast<std::uint8_t>((l >> 7) & 0x7F), static_cast<std::uint8_t>(l & 0x7F)};
}

class LambdaDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(LambdaDecode, GivesTheReadingOfTheFunctionCode) {
  const DecodeCase& c = GetParam();
  EXPECT_DOUBLE_EQ(DecodeLambdaPacket(c.body.data()), c.value) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Packets, LambdaDecode,
                         ::testing::Values(DecodeCase{"stoichiometric", {0x43, 0x13, 0x03, 0x74}, 14.7},
                                           DecodeCase{"reading_zero", {0x43, 0x13, 0x00, 0x00}, 7.35},
                                           DecodeCase{"function_1", {0x47, 0x13, 0x03, 0x74}, 50.0},
                                           DecodeCase{"function_6", {0x5B, 0x13, 0x03, 0x74}, -1.0},
                                           DecodeCase{"function_2", {0x4B, 0x13, 0x03, 0x74}, 0.0},
                                           DecodeCase{"function_3", {0x4F, 0x13, 0x03, 0x74}, 0.0},
                                           DecodeCase{"function_4", {0x53, 0x13, 0x03, 0x74}, 0.0},
                                           DecodeCase{"function_5", {0x57, 0x13, 0x03, 0x74}, 0.0},
                                           DecodeCase{"function_7", {0x5F, 0x13, 0x03, 0x74}, 0.0},
                                           // Top bits of the body bytes are not part of the fields.
                                           DecodeCase{"high_bits_ignored", {0xC3, 0x93, 0x83, 0xF4}, 14.7},
                                           DecodeCase{"largest_reading", Body(0, 147, 16383),
                                                      (16383 + 500) / 1000.0 * 14.7},
                                           DecodeCase{"multiplier_bit7", Body(0, 255, 500), 25.5},
                                           DecodeCase{"multiplier_zero", Body(0, 0, 500), 0.0},
                                           DecodeCase{"function_1_largest", Body(1, 0, 16383), 1638.3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LambdaHeader, MatchesByMasksOnly) {
  EXPECT_TRUE(IsLambdaHeader(0xB2, 0x82));
  EXPECT_TRUE(IsLambdaHeader(0xFF, 0xFF));
  EXPECT_TRUE(IsLambdaHeader(0xB3, 0x83));
  EXPECT_FALSE(IsLambdaHeader(0xB0, 0x82));  // bit 1 missing in h0
  EXPECT_FALSE(IsLambdaHeader(0x32, 0x82));  // bit 7 missing in h0
  EXPECT_FALSE(IsLambdaHeader(0xB2, 0x80));  // bit 1 missing in h1
  EXPECT_FALSE(IsLambdaHeader(0xB2, 0x02));  // bit 7 missing in h1
}

TEST(SimulatedLc1, SendsTheKnownPacketForAStoichiometricMixture) {
  const std::array<std::uint8_t, 6> expected{0xB2, 0x82, 0x43, 0x13, 0x03, 0x74};
  EXPECT_EQ(sim::Lc1Device::EncodePacket(0, 147, sim::Lc1Device::ReadingForAfr(14.7)), expected);
}

TEST(SimulatedLc1, ReadingRoundTripsThroughTheDecoder) {
  for (double afr : {7.35, 10.0, 12.5, 14.7, 16.0, 22.0}) {
    auto packet = sim::Lc1Device::EncodePacket(0, 147, sim::Lc1Device::ReadingForAfr(afr));
    EXPECT_TRUE(IsLambdaHeader(packet[0], packet[1]));
    EXPECT_NEAR(DecodeLambdaPacket(packet.data() + 2), afr, 0.0075) << afr;
  }
  for (int f = 0; f < 8; ++f) {
    auto packet = sim::Lc1Device::EncodePacket(f, 147, 500);
    EXPECT_EQ((packet[2] >> 2) & 7, f);
  }
  // Out of range mixtures are clamped to what 14 bits carry.
  EXPECT_EQ(sim::Lc1Device::ReadingForAfr(1.0), 0);
  EXPECT_EQ(sim::Lc1Device::ReadingForAfr(1000.0), 16383);
}

TEST(SimulatedLc1, ReadsTheEngineModelsMixture) {
  auto engine = std::make_shared<EngineModel>(7);
  sim::EngineMixture mixture(engine);
  for (int i = 0; i < 5; ++i) {
    engine->StartRunUp();
    engine->Advance(0.7);
    const double afr = engine->Mixture();
    EXPECT_EQ(mixture.AirFuelRatio(), afr);
    auto packet = sim::Lc1Device::EncodePacket(0, 147, sim::Lc1Device::ReadingForAfr(afr));
    EXPECT_NEAR(DecodeLambdaPacket(packet.data() + 2), afr, 0.0075);
  }
}

// The stream as the reader thread reads it, one read at a time.
class LambdaFraming : public ::testing::Test {
 protected:
  std::optional<double> Feed(const std::vector<std::uint8_t>& bytes) {
    return framer.Feed(bytes.data(), static_cast<int>(bytes.size()));
  }
  Lc1Framer framer;
};

TEST_F(LambdaFraming, HeaderSplitAcrossReadsIsFound) {
  // A failed search keeps its last byte: only that can pair with the next read.
  EXPECT_FALSE(Feed({0x00, 0x11, 0xB2}));
  EXPECT_EQ(Feed({0x82, 0x5B, 0x13, 0x03, 0x74}), -1.0);
  // The body may come in pieces too.
  EXPECT_FALSE(Feed({0xB2, 0x82, 0x43}));
  EXPECT_FALSE(Feed({0x13, 0x03}));
  EXPECT_EQ(Feed({0x74}), 14.7);
}

TEST_F(LambdaFraming, HeaderBytesMatchByMaskOnly) {
  EXPECT_EQ(Feed({0xF7, 0xEB, 0x43, 0x13, 0x03, 0x74}), 14.7);
}

TEST_F(LambdaFraming, GarbageIsSkippedWithoutOverflow) {
  // More garbage than the buffer holds, read by read as the reader takes it:
  // only the last byte stays each time.
  const std::vector<std::uint8_t> garbage(255, 0x00);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(Feed(garbage));
    EXPECT_EQ(framer.Room(), 254);
  }
  EXPECT_EQ(Feed({0x11, 0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}), 14.7);
}

TEST_F(LambdaFraming, BytesAfterThePacketAreDropped) {
  // A whole packet of code 6 behind the first in the same read is never taken.
  EXPECT_EQ(Feed({0xB2, 0x82, 0x43, 0x13, 0x03, 0x74, 0xB2, 0x82, 0x5B, 0x13, 0x03, 0x74}), 14.7);
  EXPECT_EQ(framer.Room(), 255);
  EXPECT_FALSE(Feed({0x47}));
}

// The silence count, ticked by hand.
class LambdaSilence : public ::testing::Test {
 protected:
  void SetUp() override {
    reading.Begin();
    ASSERT_TRUE(reading.Store(14.7, [] { return false; }));  // a packet has just arrived
  }
  Lc1Reading reading;
};

TEST_F(LambdaSilence, ReportsOnceAtTheTenthTick) {
  for (int i = 1; i <= 9; ++i) EXPECT_FALSE(reading.Tick());
  EXPECT_FALSE(reading.NoData());
  EXPECT_EQ(reading.Value(), 14.7);

  EXPECT_TRUE(reading.Tick());
  EXPECT_TRUE(reading.NoData());
  EXPECT_EQ(reading.Value(), 0.0);

  for (int i = 0; i < 30; ++i) EXPECT_FALSE(reading.Tick());
  EXPECT_EQ(reading.SilenceTicks(), 40);
  // The next packet starts the count again.
  ASSERT_TRUE(reading.Store(13.0, [] { return false; }));
  EXPECT_FALSE(reading.NoData());
  EXPECT_EQ(reading.SilenceTicks(), 0);
}

TEST_F(LambdaSilence, DoesNothingBeforeTheFirstPacket) {
  reading.Begin();
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(reading.Tick());
  EXPECT_EQ(reading.SilenceTicks(), -1);
  EXPECT_TRUE(reading.NoData());
  EXPECT_EQ(reading.Value(), 14.7);
}

TEST_F(LambdaSilence, StoppedReaderStoresNothing) {
  EXPECT_FALSE(reading.Store(12.0, [] { return true; }));
  EXPECT_EQ(reading.Value(), 14.7);
  EXPECT_EQ(reading.Packets(), 1u);
}

TEST(LambdaSilenceCount, StopsAtItsLimit) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(Lc1Reading::NextTick(kMax - 1), kMax);
  EXPECT_EQ(Lc1Reading::NextTick(kMax), kMax);
  EXPECT_EQ(Lc1Reading::NextTick(-1), -1);
}

}  // namespace
