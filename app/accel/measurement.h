#pragma once
// The acceleration measurement of the "Ускорение" chart mode: smooths
// SpinAccel, detects each run-up above the speed limit, plots it and times
// each 500 rpm band into the acceleration table. One Step per completed speed
// sample. User-interface thread.

#include <cstdint>
#include <functional>

#include "app/accel/filter.h"
#include "app/accel/table_model.h"
#include "app/widgets/chart_update.h"

// The values of one completed speed sample.
struct AccelSample {
  std::uint16_t rpm = 0;
  double spinAccel = 0;
  double spinDt = 0;
  double corrUOZ = 0;
  int avgAngle = 0;  // "Осреднять за" in force, recorded with the run
};

// What one step changed, for the widgets to apply.
struct AccelStepResult {
  ChartUpdate chart;
  bool newColumn = false;     // a run started: a column was added and is to be selected
  int writtenRow = 0;         // band row written in column RunCount (0: none)
  int unhighlightColumn = 0;  // column whose cell in writtenRow lost the highlight (0: none)
  double average = 0;         // the smoothed acceleration of this sample
};

class AccelMeasurement {
 public:
  static constexpr double kTimeLimit = 25.0;  // seconds of a run that are plotted and timed

  explicit AccelMeasurement(AccelTableModel& table) : table_(table) {}

  // Unidirectional mode requested: the filter restarts with filterLength zeros.
  void ResetFilter(int filterLength) { filter_.Reset(filterLength); }
  // Connect: forget the highlights and any run.
  void ResetBest();
  // ElapsedTime := 0 (entry into unidirectional mode, end of the mode): a run
  // in progress ends.
  void EndRun();
  // The run in progress ends here (the table is about to change under it);
  // the rest of its run-up is ignored.
  void Interrupt();
  // Called whenever a run has ended with its column (the newest) in place.
  void OnRunEnd(std::function<void()> handler) { onRunEnd_ = std::move(handler); }

  // One completed sample. rpmLimit is the "Порог оборотов" value.
  AccelStepResult Step(const AccelSample& s, int rpmLimit, bool paused);

  // Delete key on run column k. Deleting the column of the run in progress
  // ends that run, and the rest of that run-up is ignored until the speed has
  // fallen to the end threshold, so none of its times land in another run's
  // column. False when nothing was deleted.
  bool DeleteRun(int k);

  bool RunInProgress() const { return running_; }
  bool IgnoringRunUp() const { return ignoring_; }
  double ElapsedTime() const { return elapsed_; }
  int NextBand() const { return nextBand_; }
  double BandStartTime() const { return bandStart_; }
  bool FirstBoundary() const { return firstBoundary_; }
  const AccelFilter& Filter() const { return filter_; }

 private:
  // finished: the run's column stays and counts as a finished run.
  void StopRun(bool finished = true);

  AccelTableModel& table_;
  std::function<void()> onRunEnd_;
  AccelFilter filter_;
  // The run in progress is tracked explicitly rather than by ElapsedTime != 0,
  // so a sample of zero duration cannot open a second column for one run.
  bool running_ = false;
  bool ignoring_ = false;
  double elapsed_ = 0;
  int nextBand_ = 0;
  double bandStart_ = 0;
  bool firstBoundary_ = true;
};
