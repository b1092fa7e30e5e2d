#include "ecu/crank_packets.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "common/config.h"
#include "ecu/ecu_data.h"
#include "tests/support/live_lc1.h"
#include "tests/support/test_ui.h"

namespace {

struct Buffer {
  MsgBlock block{};
  std::uint8_t count = 0;
  explicit Buffer(const std::vector<std::uint8_t>& bytes) {
    for (auto b : bytes) block[count++] = b;
  }
  std::vector<std::uint8_t> Bytes() const { return {block.begin(), block.begin() + count}; }
};

// One packet: angle units, time units of 6 us, correction in half degrees,
// mixture byte, DGTC_RICH raw.
std::vector<std::uint8_t> Packet(std::uint8_t angle, std::uint16_t time, std::int8_t corr = 0,
                                 std::uint8_t mix = 0x80, std::uint16_t rich = 0) {
  return {angle,
          static_cast<std::uint8_t>(time & 0xFF),
          static_cast<std::uint8_t>(time >> 8),
          static_cast<std::uint8_t>(corr),
          mix,
          static_cast<std::uint8_t>(rich & 0xFF),
          static_cast<std::uint8_t>(rich >> 8)};
}

TEST(SpinSync, FindsSyncAndDropsWhatCameBefore) {
  Buffer b({0x00, 0xA5, 0x05, 0x01, 0xE8, 0x03, 0xFE, 0x80, 0x00, 0x01});
  std::uint16_t sum = 1234;
  EXPECT_EQ(FindSpinSync(b.block, b.count, sum), 7);
  EXPECT_EQ(sum, 0);
  EXPECT_EQ(b.Bytes(), (std::vector<std::uint8_t>{0x01, 0xE8, 0x03, 0xFE, 0x80, 0x00, 0x01}));
}

struct SyncCase {
  std::vector<std::uint8_t> bytes;
  int left;  // bytes left after the sync; -1: no sync
};

class SpinSyncMask : public ::testing::TestWithParam<SyncCase> {};

TEST_P(SpinSyncMask, LooksOnlyAtTheSyncBits) {
  Buffer b(GetParam().bytes);
  const auto before = b.Bytes();
  std::uint16_t sum = 77;
  const int r = FindSpinSync(b.block, b.count, sum);
  if (GetParam().left >= 0) {
    EXPECT_EQ(r, 7);
    EXPECT_EQ(b.count, GetParam().left);
    EXPECT_EQ(sum, 0);
  } else {
    EXPECT_EQ(r, -1);
    EXPECT_EQ(b.Bytes(), before);  // unchanged
    EXPECT_EQ(sum, 77);
  }
}

INSTANTIATE_TEST_SUITE_P(Masks, SpinSyncMask,
                         ::testing::Values(SyncCase{{0xFF, 0xFF}, 0}, SyncCase{{0xA5, 0x05, 0x42}, 1},
                                           SyncCase{{0xA4, 0x05}, -1}, SyncCase{{0xA5, 0x04}, -1},
                                           SyncCase{{0xA5}, -1}, SyncCase{{}, -1},
                                           SyncCase{{0x00, 0x01, 0x02, 0xA5}, -1},
                                           SyncCase{{0x00, 0x00, 0xA5, 0x05, 0x09}, 1},
                                           // The first pair that matches wins.
                                           SyncCase{{0xA5, 0xA5, 0x05, 0x01}, 2}));

TEST(SpinPacket, DecodesTheBufferExample) {
  EcuDataRecord d;
  const std::vector<std::uint8_t> p{0x01, 0xE8, 0x03, 0xFE, 0x80, 0x00, 0x01};
  EXPECT_FALSE(DecodeSpinPacket(p.data(), 360, d));
  EXPECT_EQ(d.SpinAngle, 18);
  EXPECT_DOUBLE_EQ(d.SpinTime, 0.006);
  EXPECT_EQ(d.CorrUOZ, -1.0);
  EXPECT_DOUBLE_EQ(d.AFR, 14.7);
  EXPECT_EQ(d.DGTC_RICH, 1.0);
}

TEST(SpinPacket, SampleCompletesOnlyPastTheAveragingAngle) {
  EcuDataRecord d;
  const auto p = Packet(1, 1000);  // 18 degrees in 6 ms
  for (int i = 1; i <= 20; ++i) ASSERT_FALSE(DecodeSpinPacket(p.data(), 360, d)) << "packet " << i;
  EXPECT_EQ(d.SpinAngle, 360);
  EXPECT_TRUE(DecodeSpinPacket(p.data(), 360, d));
  // 378 degrees in 0.126 s: 8.333 rps, 500 rpm (the summed time is a hair
  // above 0.126, and RPM is truncated).
  EXPECT_DOUBLE_EQ(d.SpinRps, 378.0 / 360 / 0.126);
  EXPECT_EQ(d.RPM, static_cast<std::uint16_t>(d.SpinRps * 60));
  EXPECT_NEAR(d.RPM, 500, 1);
  EXPECT_DOUBLE_EQ(d.SpinDt, 0.126);
  EXPECT_DOUBLE_EQ(d.SpinAccel, d.SpinRps / 0.126);  // measured from 0
  EXPECT_EQ(d.SpinAngle, 0);
  EXPECT_EQ(d.SpinTime, 0);
}

TEST(SpinPacket, ZeroAveragingAngleCompletesEveryTurningPacket) {
  EcuDataRecord d;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(DecodeSpinPacket(Packet(1, 100).data(), 0, d));
  EXPECT_FALSE(DecodeSpinPacket(Packet(0, 100).data(), 0, d));
}

TEST(SpinPacket, AccelerationIsSpeedChangeOverSampleTime) {
  EcuDataRecord d;
  // 360 degrees in 0.1 s, then 432 degrees in 0.1 s: 10 then 12 rps.
  ASSERT_TRUE(DecodeSpinPacket(Packet(20, 16667).data(), 0, d));
  d.SpinRps = 10.0;  // exactly, free of the 6 us quantisation
  ASSERT_TRUE(DecodeSpinPacket(Packet(24, 16667).data(), 0, d));
  // 16667 × 6 us is 0.100002 s: compare with a tolerance.
  EXPECT_NEAR(d.SpinRps, 12.0, 1e-3);
  EXPECT_NEAR(d.SpinAccel, 20.0, 1e-2);
  EXPECT_EQ(d.RPM, 719);  // 11.99976 rps × 60, truncated
}

TEST(SpinPacket, ZeroTimeSampleIsDiscardedKeepingTheLastGoodOne) {
  EcuDataRecord d;
  ASSERT_TRUE(DecodeSpinPacket(Packet(20, 16667).data(), 0, d));
  const auto rpm = d.RPM;
  const double rps = d.SpinRps, accel = d.SpinAccel, dt = d.SpinDt;
  EXPECT_FALSE(DecodeSpinPacket(Packet(30, 0, 4, 0x00, 512).data(), 0, d));
  EXPECT_EQ(d.RPM, rpm);
  EXPECT_EQ(d.SpinRps, rps);
  EXPECT_EQ(d.SpinAccel, accel);
  EXPECT_EQ(d.SpinDt, dt);
  EXPECT_EQ(d.SpinAngle, 0);
  EXPECT_EQ(d.SpinTime, 0);
  // The packet's engine values still count.
  EXPECT_EQ(d.CorrUOZ, 2.0);
  EXPECT_DOUBLE_EQ(d.AFR, 7.35);
  EXPECT_EQ(d.DGTC_RICH, 2.0);
}

TEST(SpinPacket, EnteringTheModeClearsTheRunningSample) {
  EcuDataRecord d;
  d.SpinRps = 50;
  d.SpinAngle = 100;
  d.SpinTime = 0.5;
  d.SpinAccel = 3;
  d.SpinDt = 0.2;
  ResetSpinSample(d);
  EXPECT_EQ(d.SpinRps, 0);
  EXPECT_EQ(d.SpinAngle, 0);
  EXPECT_EQ(d.SpinTime, 0);
  EXPECT_EQ(d.SpinAccel, 3);
  EXPECT_EQ(d.SpinDt, 0.2);
}

class SpinHandOff : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = TCfg.LambdaEnabled;
    session.AddSink(ui);
  }
  void TearDown() override { TCfg.LambdaEnabled = saved_; }
  RecordingUi ui;
  EcuSession session{ui};
  std::uint8_t saved_ = 0;
};

TEST_F(SpinHandOff, CountsEveryPacketAndDisplaysCompletedSamples) {
  TCfg.LambdaEnabled = 0;
  session.Data().AFR_LC1 = 13.0;
  session.SetAvgAngle(20);  // two packets of 18 degrees complete a sample
  const auto p = Packet(1, 1000);
  session.HandlePacket(p.data(), 7);
  EXPECT_EQ(ui.replyCount, 1);
  EXPECT_EQ(ui.displayUpdates, 0);
  EXPECT_EQ(session.Data().AFR_LC1, 13.0);
  session.HandlePacket(p.data(), 9);
  EXPECT_EQ(ui.replyCount, 2);
  EXPECT_EQ(ui.displayUpdates, 1);
  EXPECT_EQ(session.Data().AFR_LC1, -1.0);
  // A short packet is not a packet.
  session.HandlePacket(p.data(), 6);
  EXPECT_EQ(ui.replyCount, 2);
  EXPECT_EQ(session.Data().SpinAngle, 0);
}

TEST_F(SpinHandOff, CompletedSampleTakesTheLambdaReading) {
  TCfg.LambdaEnabled = 1;
  LiveLc1 lc1(session);
  ASSERT_TRUE(lc1.Receiving());
  session.Data().ALF_LC1 = 0.5;
  session.SetAvgAngle(0);
  session.HandlePacket(Packet(1, 1000).data(), 7);
  EXPECT_EQ(session.Data().AFR_LC1, 14.7);
  EXPECT_EQ(session.Data().ALF_LC1, 0.5);  // left alone on this path
}

}  // namespace
