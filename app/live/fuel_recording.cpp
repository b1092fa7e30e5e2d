#include "app/live/fuel_recording.h"

void FuelRecording::Reset() {
  recording_ = false;
  elapsed_ = 0;
}

ChartUpdate FuelRecording::Step(const FuelSample& s, bool paused, const AxisRange& bottom) {
  ChartUpdate u;
  if (paused) {
    Reset();
    return u;
  }
  AxisRange axis = bottom;
  if (!recording_) {
    recording_ = true;
    elapsed_ = 0;
    u.clearAll = true;
    axis.max = bottom.max - bottom.min;
    axis.min = 0;
    u.setBottom = true;
  }
  elapsed_ += s.spinDt;
  u.Add(kSeries1, elapsed_, s.rpm);
  u.Add(kSeries2, elapsed_, s.afr);
  if (s.afrLc1 != -1.0) u.Add(kSeries4, elapsed_, s.afrLc1);
  u.Add(kSeries5, elapsed_, s.dgtcRich);
  if (elapsed_ > axis.max) {
    // Shift, keeping the width, so the newest point sits at the right edge.
    axis.min += elapsed_ - axis.max;
    axis.max = elapsed_;
    u.setBottom = true;
  }
  if (u.setBottom) u.bottom = axis;
  return u;
}
