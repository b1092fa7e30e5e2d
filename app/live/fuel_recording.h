#pragma once
// The "Доп. топливо" chart mode: RPM, AFR, AFR_LC1 and DGTC_RICH recorded
// against time, one step per completed speed sample, the bottom axis following
// the newest point. User-interface thread.

#include "app/live/chart_logic.h"

struct FuelSample {
  double rpm = 0;
  double afr = 0;
  double afrLc1 = -1.0;  // -1: no LC-1 value, no point
  double dgtcRich = 0;
  double spinDt = 0;
};

class FuelRecording {
 public:
  // ElapsedTime := 0 (connect, entry into unidirectional mode): the next
  // sample starts a new recording.
  void Reset();
  // One completed sample; bottom is the bottom axis as it stands now.
  ChartUpdate Step(const FuelSample& s, bool paused, const AxisRange& bottom);

  double ElapsedTime() const { return elapsed_; }
  bool Recording() const { return recording_; }

 private:
  // Tracked explicitly so a sample of zero duration cannot restart a recording.
  bool recording_ = false;
  double elapsed_ = 0;
};
