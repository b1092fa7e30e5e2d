#pragma once
// What the chart shows, as plain data: the axes of the two chart modes, the
// zoom buttons and the panning rule (the changes one measurement step makes to
// the five series are in chart_update.h). The chart widget only applies these.
// User-interface thread.

#include "app/widgets/chart_update.h"

// The two chart modes, equal to the mode selector's item index.
enum ChartModeIndex { kChartAcceleration = 0, kChartAdditionalFuel = 1 };

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
