// Axes of the two chart modes, zoom and panning, and the additional-fuel recording.
#include "app/live/chart_logic.h"

#include <gtest/gtest.h>

#include "app/live/fuel_recording.h"

namespace {

TEST(ChartAxes, AccelerationMode) {
  const ChartAxes a = ChartAxesFor(kChartAcceleration);
  EXPECT_DOUBLE_EQ(a.left.min, 0);
  EXPECT_DOUBLE_EQ(a.left.max, 10200);
  EXPECT_DOUBLE_EQ(a.left.increment, 500);
  EXPECT_DOUBLE_EQ(a.right.min, -150);
  EXPECT_DOUBLE_EQ(a.right.max, 156);
  EXPECT_DOUBLE_EQ(a.right.increment, 30);
  EXPECT_EQ(a.rightMinorTicks, 5);
  EXPECT_DOUBLE_EQ(a.rightMarginPercent, 0);
  EXPECT_DOUBLE_EQ(a.custom.max, 20.4);
  EXPECT_DOUBLE_EQ(a.custom.increment, 2);
  EXPECT_DOUBLE_EQ(a.customOffsetPercent, 4);
}

TEST(ChartAxes, AdditionalFuelMode) {
  const ChartAxes a = ChartAxesFor(kChartAdditionalFuel);
  EXPECT_DOUBLE_EQ(a.left.max, 10200);
  EXPECT_DOUBLE_EQ(a.right.min, 10);
  EXPECT_DOUBLE_EQ(a.right.max, 20.2);
  EXPECT_DOUBLE_EQ(a.right.increment, 1);
  EXPECT_DOUBLE_EQ(a.rightMarginPercent, 4);
  EXPECT_DOUBLE_EQ(a.custom.min, 0);
  EXPECT_DOUBLE_EQ(a.custom.max, 20.4);
}

TEST(ChartZoom, InHalvesOutDoublesMinimumStays) {
  AxisRange r = InitialBottomAxis();
  EXPECT_DOUBLE_EQ(r.max, 10);
  r = ZoomIn(r);
  EXPECT_DOUBLE_EQ(r.min, 0);
  EXPECT_DOUBLE_EQ(r.max, 5);
  EXPECT_DOUBLE_EQ(r.increment, 0.5);
  r = ZoomOut(r);
  EXPECT_DOUBLE_EQ(r.min, 0);
  EXPECT_DOUBLE_EQ(r.max, 10);
  EXPECT_DOUBLE_EQ(r.increment, 1);

  r = ZoomIn(AxisRange{4, 14, 0});
  EXPECT_DOUBLE_EQ(r.min, 4);
  EXPECT_DOUBLE_EQ(r.max, 9);
  r = ZoomOut(AxisRange{4, 14, 0});
  EXPECT_DOUBLE_EQ(r.max, 24);
  EXPECT_DOUBLE_EQ(r.increment, 2);
}

TEST(ChartPan, RefusedLeftOfZeroAndVertically) {
  EXPECT_TRUE(PanAllowed(true, 0));
  EXPECT_TRUE(PanAllowed(true, 3.5));
  EXPECT_FALSE(PanAllowed(true, -0.001));
  EXPECT_FALSE(PanAllowed(false, 5));
}

FuelSample Sample(double dt, double afrLc1 = 14.2) { return FuelSample{3000, 13.5, afrLc1, 1.25, dt}; }

TEST(FuelRecording, FirstSampleClearsAndRestartsAxisAtZeroKeepingWidth) {
  FuelRecording f;
  const ChartUpdate u = f.Step(Sample(0.5), false, AxisRange{12, 17, 0.5});
  EXPECT_TRUE(u.clearAll);
  ASSERT_TRUE(u.setBottom);
  EXPECT_DOUBLE_EQ(u.bottom.min, 0);
  EXPECT_DOUBLE_EQ(u.bottom.max, 5);
  EXPECT_DOUBLE_EQ(u.bottom.increment, 0.5);
  ASSERT_EQ(u.pointCount, 4u);
  const int series[] = {kSeries1, kSeries2, kSeries4, kSeries5};
  const double ys[] = {3000, 13.5, 14.2, 1.25};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(u.points[i].series, series[i]);
    EXPECT_DOUBLE_EQ(u.points[i].x, 0.5);
    EXPECT_DOUBLE_EQ(u.points[i].y, ys[i]);
  }
}

TEST(FuelRecording, NoLc1PointWithoutLc1Value) {
  FuelRecording f;
  const ChartUpdate u = f.Step(Sample(0.5, -1.0), false, InitialBottomAxis());
  ASSERT_EQ(u.pointCount, 3u);
  for (size_t i = 0; i < u.pointCount; ++i) EXPECT_NE(u.points[i].series, kSeries4);
}

TEST(FuelRecording, EleventhSecondShiftsAxisKeepingWidth10) {
  FuelRecording f;
  AxisRange axis = InitialBottomAxis();
  for (int i = 0; i < 100; ++i) {
    const ChartUpdate u = f.Step(Sample(0.1), false, axis);
    if (u.setBottom) axis = u.bottom;
    EXPECT_FALSE(i > 0 && u.clearAll);
  }
  EXPECT_NEAR(axis.min, 0, 1e-9);
  EXPECT_NEAR(axis.max, 10, 1e-9);
  for (int i = 0; i < 10; ++i) {
    const ChartUpdate u = f.Step(Sample(0.1), false, axis);
    ASSERT_TRUE(u.setBottom) << i;
    axis = u.bottom;
    EXPECT_NEAR(axis.max, f.ElapsedTime(), 1e-12);
    EXPECT_NEAR(axis.max - axis.min, 10, 1e-9);
  }
  EXPECT_NEAR(axis.max, 11, 1e-9);
}

TEST(FuelRecording, PauseEndsRecordingAndNextSampleStartsANewOne) {
  FuelRecording f;
  AxisRange axis = InitialBottomAxis();
  for (int i = 0; i < 150; ++i) {
    const ChartUpdate u = f.Step(Sample(0.1), false, axis);
    if (u.setBottom) axis = u.bottom;
  }
  ASSERT_NEAR(axis.min, 5, 1e-9);
  ChartUpdate u = f.Step(Sample(0.1), true, axis);
  EXPECT_TRUE(u.Empty());
  EXPECT_EQ(f.ElapsedTime(), 0);
  u = f.Step(Sample(0.1), true, axis);
  EXPECT_TRUE(u.Empty());
  u = f.Step(Sample(0.2), false, axis);
  EXPECT_TRUE(u.clearAll);
  EXPECT_DOUBLE_EQ(u.bottom.min, 0);
  EXPECT_NEAR(u.bottom.max, 10, 1e-9);
  EXPECT_DOUBLE_EQ(u.points[0].x, 0.2);
}

TEST(FuelRecording, ResetAtModeEntryStartsANewRecording) {
  FuelRecording f;
  f.Step(Sample(0.1), false, InitialBottomAxis());
  f.Reset();
  EXPECT_TRUE(f.Step(Sample(0.1), false, InitialBottomAxis()).clearAll);
  // A sample of zero duration does not start yet another recording.
  EXPECT_FALSE(f.Step(Sample(0.0), false, InitialBottomAxis()).clearAll);
}

}  // namespace
