#pragma once
// What the chart shows, as plain data: the axes of the two chart modes, the
// zoom buttons, the panning rule and the changes one measurement step makes to
// the five series. The chart widget only applies these. User-interface thread.

#include <array>
#include <cstddef>

// The two chart modes, equal to the mode selector's item index.
enum ChartModeIndex { kChartAcceleration = 0, kChartAdditionalFuel = 1 };

// The five series, numbered as on the chart.
enum SeriesIndex { kSeries1 = 1, kSeries2, kSeries3, kSeries4, kSeries5 };

struct AxisRange {
  double min = 0;
  double max = 0;
  double increment = 0;  // 0: left to the chart
};

struct ChartAxes {
  AxisRange left;
  AxisRange right;
  int rightMinorTicks = 0;         // minor ticks between two labels; 0: left to the chart
  AxisRange custom;                // vertical axis of Series5, right of the right axis
  double customOffsetPercent = 0;  // custom axis distance outside the plot, % of the chart width
  double rightMarginPercent = 0;   // room right of the plot, % of the chart width
};

// Axes and margin of a chart mode (the bottom axis is not touched).
ChartAxes ChartAxesFor(int chartMode);

// Bottom axis at window creation: 0..10 s, ticks chosen by the chart.
AxisRange InitialBottomAxis();

// Zoom buttons: the minimum stays, the width halves or doubles, ten steps.
AxisRange ZoomIn(const AxisRange& bottom);
AxisRange ZoomOut(const AxisRange& bottom);

// Panning with the mouse: only horizontally and never left of 0.
bool PanAllowed(bool horizontalAxis, double newMinimum);

struct ChartPoint {
  int series = 0;  // SeriesIndex
  double x = 0;
  double y = 0;
};

// What one measurement step does to the chart, in this order: clear, move the
// current run to the previous run's series, set the bottom axis, add points.
struct ChartUpdate {
  bool clearAll = false;           // clear all five series
  bool currentToPrevious = false;  // Series3 := Series1, Series4 := Series2, clear Series1 and Series2
  bool setBottom = false;
  AxisRange bottom;  // the new bottom axis when setBottom
  std::array<ChartPoint, 4> points{};
  std::size_t pointCount = 0;

  void Add(int series, double x, double y) { points[pointCount++] = ChartPoint{series, x, y}; }
  bool Empty() const { return !clearAll && !currentToPrevious && !setBottom && pointCount == 0; }
};
