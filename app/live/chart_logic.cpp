#include "app/live/chart_logic.h"

ChartAxes ChartAxesFor(int chartMode) {
  ChartAxes a;
  a.left = {0, 10200, 500};
  a.custom = {0, 20.4, 2};
  a.customOffsetPercent = 4;
  if (chartMode == kChartAdditionalFuel) {
    a.right = {10, 20.2, 1};
    a.rightMinorTicks = 0;
    a.rightMarginPercent = 4;  // room for the custom axis
  } else {
    a.right = {-150, 156, 30};
    a.rightMinorTicks = 5;
    a.rightMarginPercent = 0;
  }
  return a;
}

AxisRange InitialBottomAxis() { return {0, 10, 0}; }

AxisRange ZoomIn(const AxisRange& bottom) {
  AxisRange r = bottom;
  r.max = (bottom.max + bottom.min) / 2;
  r.increment = (r.max - r.min) / 10;
  return r;
}

AxisRange ZoomOut(const AxisRange& bottom) {
  AxisRange r = bottom;
  r.max = bottom.min + (bottom.max - bottom.min) * 2;
  r.increment = (r.max - r.min) / 10;
  return r;
}

bool PanAllowed(bool horizontalAxis, double newMinimum) { return horizontalAxis && newMinimum >= 0; }
