#pragma once
// The rpm-versus-time curves of runs chosen in the acceleration table, to be
// drawn together on the chart. Each curve starts (x = 0) where its run crossed
// the lowest band boundary that every chosen run was timed from, so that the
// curves compare as the band times do. Plain C++, user-interface thread.

#include <string>
#include <vector>

#include "app/accel/table_paint.h"

class AccelTableModel;

struct RunCurve {
  int column = 0;
  std::string label;  // "Коррекция -2.5, замер 3"
  Rgb colour;
  std::vector<double> x;  // seconds from the common boundary
  std::vector<double> y;  // rpm
};

struct RunCurves {
  std::vector<RunCurve> curves;
  int fromRpm = 0;                  // the common boundary; 0 when the runs have no band
  std::vector<int> withoutSamples;  // chosen columns with no samples kept
};

RunCurves CurvesOfRuns(const AccelTableModel& table, const std::vector<int>& columns);
