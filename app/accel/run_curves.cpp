#include "app/accel/run_curves.h"

#include <algorithm>

#include "app/accel/summary.h"
#include "app/accel/table_model.h"

namespace {

// Apart from each other and from the live series (blue, red, RGB(64, 128, 128),
// fuchsia, green).
constexpr Rgb kPalette[] = {{230, 120, 0}, {120, 0, 170}, {150, 90, 30}, {0, 170, 170},
                            {200, 0, 80},  {120, 120, 0}, {90, 90, 90},  {0, 90, 200}};

int FirstBandRow(const RunBands& bands) {
  for (int r = 1; r <= kRunBands; ++r)
    if (bands[r - 1]) return r;
  return 0;
}

}  // namespace

RunCurves CurvesOfRuns(const AccelTableModel& table, const std::vector<int>& columns) {
  RunCurves out;
  int fromRow = 0;
  for (int c : columns) fromRow = std::max(fromRow, FirstBandRow(table.Bands(c)));
  if (fromRow > 0) out.fromRpm = AccelTableModel::BandLowRpm(fromRow);
  for (int c : columns) {
    const AccelTableModel::RunInfo& info = table.Run(c);
    if (info.samples.empty()) {
      out.withoutSamples.push_back(c);
      continue;
    }
    // The boundary is timed at the first sample at or above it, as the table does.
    double start = 0;
    if (out.fromRpm > 0) {
      const auto at = std::find_if(info.samples.begin(), info.samples.end(),
                                   [&](const AccelRunSample& s) { return s.rpm >= out.fromRpm; });
      if (at != info.samples.end()) start = at->time;
    }
    RunCurve curve;
    curve.column = c;
    curve.label = "Коррекция " + CorrectionText(info.corrUOZ) + ", замер " + std::to_string(c);
    curve.colour = kPalette[out.curves.size() % std::size(kPalette)];
    for (const AccelRunSample& s : info.samples) {
      if (s.time < start) continue;
      curve.x.push_back(s.time - start);
      curve.y.push_back(s.rpm);
    }
    out.curves.push_back(std::move(curve));
  }
  return out;
}
