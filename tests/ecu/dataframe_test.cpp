#include "ecu/dataframe.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <ostream>
#include <utility>
#include <vector>

#include "ecu/ecu_data.h"

namespace {

// A data reply's field: 61 0D and the 95-byte record.
std::array<std::uint8_t, 97> Reply(const std::vector<std::pair<int, std::uint8_t>>& record) {
  std::array<std::uint8_t, 97> data{};
  data[0] = 0x61;
  data[1] = 0x0D;
  for (auto [offset, byte] : record) data[2 + offset] = byte;
  return data;
}

struct FrameCase {
  const char* name;
  std::vector<std::pair<int, std::uint8_t>> record;  // record offset, byte
  std::function<double(const EcuDataRecord&)> field;
  double expected;
};
void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class DataFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(DataFrame, DecodesRecordBytes) {
  const FrameCase& c = GetParam();
  EcuDataRecord d;
  d.RPM = 1234;  // stale values must be overwritten
  d.FUSE = 99;
  auto data = Reply(c.record);
  DecodeDataFrame(data.data(), d);
  EXPECT_DOUBLE_EQ(c.field(d), c.expected);
}

#define F(x) [](const EcuDataRecord& d) { return static_cast<double>(d.x); }

INSTANTIATE_TEST_SUITE_P(
    Values, DataFrame,
    ::testing::Values(
        FrameCase{"Rpm5000", {{14, 0xE8}, {15, 0x03}}, F(RPM), 5000},
        FrameCase{"RpmZeroPeriod", {}, F(RPM), 0}, FrameCase{"FuseZeroPeriod", {{43, 100}}, F(FUSE), 0},
        FrameCase{"RpmCutTo16Bits", {{14, 1}}, F(RPM), 5000000 % 65536},
        FrameCase{"Fuse", {{14, 0xE8}, {15, 0x03}, {43, 0xF4}, {44, 0x01}}, F(FUSE), 500 * 33.3 / 1000},
        FrameCase{"Inj", {{43, 0xF4}, {44, 0x01}}, F(INJ), 4.0},
        FrameCase{"AlfLean", {{9, 0x00}}, F(ALF), 0.5}, FrameCase{"AfrLean", {{9, 0x00}}, F(AFR), 7.35},
        FrameCase{"AlfStoich", {{9, 0x80}}, F(ALF), 1.0}, FrameCase{"AfrStoich", {{9, 0x80}}, F(AFR), 14.7},
        FrameCase{"TwatMinus40", {{8, 0x00}}, F(TWAT), -40},
        FrameCase{"TwatWrapsToSignedByte", {{8, 0xA8}}, F(TWAT), -128},
        FrameCase{"Twat90", {{8, 130}}, F(TWAT), 90}, FrameCase{"Tair", {{37, 0x00}}, F(TAIR), -40},
        FrameCase{"UozNegative", {{20, 0xF6}}, F(UOZ), -5.0},
        FrameCase{"UozPositive", {{20, 0x0B}}, F(UOZ), 5.5}, FrameCase{"Kuoz4", {{24, 0xFF}}, F(KUOZ4), -0.5},
        FrameCase{"CorrUoz", {{34, 0xFA}}, F(CorrUOZ), -3.0},
        FrameCase{"AdcLamFull", {{38, 255}}, F(ADCLAM), 2.5},
        FrameCase{"AdcLamOne", {{38, 1}}, F(ADCLAM), 0.01953125},
        FrameCase{"AdcLamZero", {{38, 0}}, F(ADCLAM), 0},
        FrameCase{"AdcKnock", {{25, 1}}, F(ADCKNOCK), 0.01953125},
        FrameCase{"AdcUbat", {{27, 150}}, F(ADCUBAT), 150 * 0.093},
        FrameCase{"DuozLaunchCutTo8Bits", {{81, 50}}, F(DUOZ_LAUNCH), 44},
        FrameCase{"Err513", {{3, 0x01}, {4, 0x02}}, F(ERR), 513},
        FrameCase{"ErrFull32Bits", {{3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}}, F(ERR), 4294967295.0},
        FrameCase{"FazSigned", {{19, 0xFE}}, F(FAZ), -6},
        FrameCase{"DerrRpmSigned", {{67, 0x80}}, F(DERR_RPM), -1280},
        FrameCase{"DeltaRpmXx", {{78, 0x05}}, F(DELTA_RPM_XX), 50},
        FrameCase{"Rpm40", {{12, 255}}, F(RPM40), 10200},
        FrameCase{"LaunchFuelCutOff", {{55, 200}}, F(LaunchFuelCutOff), 8000},
        FrameCase{"Jufrxx", {{62, 255}}, F(JUFRXX), 2550},
        FrameCase{"DgtcRich", {{39, 0x00}, {40, 0x01}}, F(DGTC_RICH), 1.0},
        FrameCase{"DgtcLean", {{41, 0x80}}, F(DGTC_LEAN), 0.5}, FrameCase{"Air", {{45, 0x0F}}, F(AIR), 1.5},
        FrameCase{"Gbc", {{47, 60}}, F(GBC), 10}, FrameCase{"Coeff", {{18, 0}}, F(COEFF), 0.5},
        FrameCase{"TchargeCoeff", {{53, 64}}, F(TCHARGE_COEFF), 0.25},
        FrameCase{"TchargeUsesCoeff", {{52, 50}, {53, 64}}, F(TCHARGE), 40},
        FrameCase{"Kgtc", {{56, 64}}, F(KGTC), 0.5},
        FrameCase{"TurboDynamicsSigned", {{72, 0x81}}, F(TURBO_DYNAMICS), -127 * 100.0 / 255},
        FrameCase{"Wgdc", {{73, 255}}, F(WGDC), 100},
        FrameCase{"Press", {{89, 0x10}, {90, 0x27}}, F(PRESS), 100},
        FrameCase{"TargetBoost", {{94, 0x01}}, F(TARGET_BOOST), 2.56},
        FrameCase{"Knock", {{83, 0x34}, {84, 0x12}}, F(KNOCK), 0x1234},
        FrameCase{"FcrgGbcFin", {{87, 0xFF}, {88, 0xFF}}, F(FCRG_GBC_FIN), 65535},
        FrameCase{"RpmRt16FromRpmThrRt", {{76, 0x37}}, F(RPM_RT_16), 0x37},
        FrameCase{"ThrRt16Zero", {{76, 0x37}}, F(THR_RT_16), 0},
        FrameCase{"GbcRt16Low", {{82, 247}}, F(GBC_RT_16), 0},
        FrameCase{"GbcRt16High", {{82, 248}}, F(GBC_RT_16), 1}),
    [](const ::testing::TestParamInfo<FrameCase>& i) { return std::string(i.param.name); });

#undef F

TEST(DataFrameFlags, EachBitSetsItsOwnFlag) {
  EcuDataRecord d;
  auto data = Reply({{0, 0x81}});
  DecodeDataFrame(data.data(), d);
  EXPECT_EQ(d.fSTOP, 1);
  EXPECT_EQ(d.fLEARN, 1);
  EXPECT_EQ(d.fXX + d.fPOW + d.fFUELOFF + d.fLAMREG + d.fDETZONE + d.fADS, 0);

  data = Reply({{0, 0x7E}, {1, 0xFF}, {33, 0x03}});
  DecodeDataFrame(data.data(), d);
  EXPECT_EQ(d.fSTOP + d.fLEARN, 0);
  EXPECT_EQ(d.fXX + d.fPOW + d.fFUELOFF + d.fLAMREG + d.fDETZONE + d.fADS, 6);
  EXPECT_EQ(d.fXXPrev + d.fXXFix + d.fDET + d.fLAM, 4);
  EXPECT_EQ(d.fLAMRDY + d.fLAMHEAT, 2);

  // Only bits 1, 2, 5 and 7 of the second byte are flags.
  data = Reply({{1, 0x59}});
  DecodeDataFrame(data.data(), d);
  EXPECT_EQ(d.fXXPrev + d.fXXFix + d.fDET + d.fLAM, 0);
  data = Reply({{1, 0x20}});
  DecodeDataFrame(data.data(), d);
  EXPECT_EQ(d.fDET, 1);
}

TEST(DataFrameFields, LeavesFieldsFromOtherSourcesAlone) {
  EcuDataRecord d;
  d.AFR_LC1 = 13.1;
  d.ALF_LC1 = 0.9;
  d.SpinRps = 42;
  d.SpinAngle = 180;
  std::array<std::uint8_t, 97> data;
  data.fill(0xFF);
  DecodeDataFrame(data.data(), d);
  EXPECT_EQ(d.AFR_LC1, 13.1);
  EXPECT_EQ(d.ALF_LC1, 0.9);
  EXPECT_EQ(d.SpinRps, 42);
  EXPECT_EQ(d.SpinAngle, 180);
}

}  // namespace
