#pragma once
// The rpm-versus-time curves of runs chosen in the acceleration table, to be
// drawn together on the chart. Each curve starts (x = 0) where its run crossed
// the lowest band boundary that every chosen run was timed from, so that the
// curves compare as the band times do. Plain C++, user-interface thread.

#include <vector>

#include "app/widgets/chart_update.h"

class AccelTableModel;

RunCurves CurvesOfRuns(const AccelTableModel& table, const std::vector<int>& columns);
