// The display's texts and which parts a refresh touches.
#include "app/live/display_texts.h"

#include <gtest/gtest.h>

#include "app/live/chart_logic.h"
#include "app/live/display_plan.h"
#include "ecu/ecu_data.h"

namespace {

TEST(DisplayTexts, DiagnosticsBoxesInTableOrderWithTheirFormats) {
  EcuDataRecord d;
  d.RPM = 2450;
  d.THR = 37;
  d.AFR = 14.66;
  d.TWAT = -12;
  d.TAIR = 25;
  d.UOZ = -5.0;
  d.AIR = 123.6;
  d.GBC = 101.25;
  d.INJ = 3.14;
  d.SSM = 40;
  d.PRESS = 98.04;
  d.ERR_CNT = 3;
  const auto t = DiagnosticsTexts(d);
  const char* expected[] = {"2450", "37", "14.7", "-12", "25", "-5", "124", "101.3", "3.1", "40", "98", "3"};
  for (int i = 0; i < kDiagBoxCount; ++i) EXPECT_EQ(t[i], expected[i]) << kDiagBoxCaptions[i];
  d.UOZ = 5.5;
  d.AFR = -1;
  EXPECT_EQ(DiagnosticsTexts(d)[5], "5.5");
  EXPECT_EQ(DiagnosticsTexts(d)[2], "-1.0");
  EXPECT_STREQ(kDiagBoxCaptions[10], "PRESS");
  EXPECT_STREQ(kDiagBoxCaptions[11], "ERR");
}

TEST(DisplayTexts, FlagsInTableOrder) {
  EcuDataRecord d;
  d.fXX = 1;
  d.fDET = 1;
  d.fLEARN = 1;
  d.fPOW = 1;  // not shown
  const auto f = DiagnosticsFlags(d);
  const bool expected[] = {false, true, false, false, true, false, true};
  for (int i = 0; i < kDiagFlagCount; ++i) EXPECT_EQ(f[i], expected[i]) << kDiagFlagCaptions[i];
}

TEST(DisplayTexts, TopStripAndLambdaPanel) {
  EcuDataRecord d;
  d.RPM = 65535;
  d.CorrUOZ = -7.5;
  EXPECT_EQ(RpmText(d), "65535");
  EXPECT_EQ(CorrUozText(d), "-7.5");
  d.CorrUOZ = 3.0;
  EXPECT_EQ(CorrUozText(d), "3");
  EXPECT_EQ(LambdaPanelText(-1.0), " LC1 AFR: --");
  EXPECT_EQ(LambdaPanelText(14.7), " LC1 AFR: 14.7");
  EXPECT_EQ(LambdaPanelText(9.96), " LC1 AFR: 10.0");
}

TEST(DisplayPlan, WhatEachRefreshTouches) {
  struct Case {
    DisplayCause cause;
    bool link, unidir;
    int mode;
    bool lambda;
    DisplayPlan plan;  // topStrip, diagnostics, acceleration, additionalFuel, lambdaPanel
  };
  const auto New = DisplayCause::NewData;
  const auto Tick = DisplayCause::ScreenTick;
  const Case cases[] = {
      {New, true, false, 0, false, {true, true, false, false, false}},
      {Tick, true, false, 1, true, {true, true, false, false, true}},
      {New, true, true, kChartAcceleration, false, {true, false, true, false, false}},
      {New, true, true, kChartAdditionalFuel, true, {true, false, false, true, true}},
      // A tick in unidirectional mode never takes the last sample again.
      {Tick, true, true, kChartAcceleration, true, {true, false, false, false, true}},
      {Tick, true, true, kChartAdditionalFuel, false, {true, false, false, false, false}},
      // Without a link only the LC-1 panel.
      {Tick, false, false, 0, true, {false, false, false, false, true}},
      {New, false, true, 0, false, {false, false, false, false, false}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const DisplayPlan p = PlanDisplay(c.cause, c.link, c.unidir, c.mode, c.lambda);
    EXPECT_EQ(p.topStrip, c.plan.topStrip) << i;
    EXPECT_EQ(p.diagnostics, c.plan.diagnostics) << i;
    EXPECT_EQ(p.acceleration, c.plan.acceleration) << i;
    EXPECT_EQ(p.additionalFuel, c.plan.additionalFuel) << i;
    EXPECT_EQ(p.lambdaPanel, c.plan.lambdaPanel) << i;
  }
}

TEST(DisplayPlan, ScreenTick) {
  EXPECT_TRUE(PlanScreenTick(true, false, 0).copyLambda);
  EXPECT_TRUE(PlanScreenTick(true, false, 0).display);
  EXPECT_FALSE(PlanScreenTick(true, true, 500).copyLambda);
  EXPECT_TRUE(PlanScreenTick(true, true, 500).display);
  EXPECT_FALSE(PlanScreenTick(false, true, 0).display);
  EXPECT_FALSE(PlanScreenTick(false, false, 500).display);
}

}  // namespace
