#include "app/accel/measurement.h"

#include <ctime>

#include "common/format.h"

namespace {

// Integer comparisons: 0.9 × limit in floating point is not exact for every
// limit (810 could compare as above 0.9 × 900).
bool AboveStart(int rpm, int limit) { return rpm > limit; }
bool AboveEnd(int rpm, int limit) { return 10 * rpm > 9 * limit; }

}  // namespace

void AccelMeasurement::ResetBest() {
  table_.ResetBest();
  EndRun();
}

void AccelMeasurement::EndRun() {
  StopRun();
  ignoring_ = false;
}

void AccelMeasurement::Interrupt() {
  if (!running_) return;
  StopRun();
  ignoring_ = true;
}

void AccelMeasurement::StopRun(bool finished) {
  const bool ended = running_ && finished;
  running_ = false;
  elapsed_ = 0;
  if (!ended) return;
  table_.Run(table_.RunCount()).finished = true;
  if (onRunEnd_) onRunEnd_();
}

AccelStepResult AccelMeasurement::Step(const AccelSample& s, int rpmLimit, bool paused) {
  AccelStepResult res;
  res.average = filter_.Add(s.spinAccel);  // at every call, also between runs

  const int rpm = s.rpm;
  if (ignoring_) {
    if (!AboveEnd(rpm, rpmLimit)) ignoring_ = false;
    StopRun();
    return res;
  }
  const bool goOn = running_ ? AboveEnd(rpm, rpmLimit) : AboveStart(rpm, rpmLimit);
  if (!goOn || paused) {
    StopRun();
    return res;
  }

  if (!running_) {
    running_ = true;
    elapsed_ = 0;
    res.chart.currentToPrevious = true;
    AccelTableModel::RunInfo& info = table_.Run(table_.AddRun(s.corrUOZ));
    info.time = FormatLocalTime("%Y-%m-%d %H:%M:%S", std::time(nullptr));
    info.rpmLimit = rpmLimit;
    info.avgAngle = s.avgAngle;
    info.filterLen = filter_.Length();
    res.newColumn = true;
    nextBand_ = rpm > 2000 ? (rpm - 2000) / 500 + 1 : 0;
    firstBoundary_ = true;
  }

  elapsed_ += s.spinDt;
  if (elapsed_ >= kTimeLimit) return res;  // the run goes on unplotted and untimed

  res.chart.Add(kSeries1, elapsed_, rpm);
  res.chart.Add(kSeries2, elapsed_, res.average);
  table_.AddSample(elapsed_, rpm);
  if (rpm >= 2000 + 500 * nextBand_) {
    if (!firstBoundary_ && nextBand_ <= AccelTableModel::kBandRows) {
      res.writtenRow = nextBand_;
      res.unhighlightColumn = table_.SetBandTime(nextBand_, elapsed_ - bandStart_);
    }
    bandStart_ = elapsed_;
    ++nextBand_;
    firstBoundary_ = false;
  }
  return res;
}

bool AccelMeasurement::DeleteRun(int k) {
  const bool current = running_ && k == table_.RunCount();
  if (!table_.DeleteColumn(k)) return false;
  if (current) {
    StopRun(false);  // its column is gone
    ignoring_ = true;
  }
  return true;
}
