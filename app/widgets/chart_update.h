#pragma once
// The changes one measurement step makes to the chart's five series, as plain
// data: what the acceleration runs and the fuel recording hand the chart; and
// the curves of chosen runs drawn over them.
// User-interface thread.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "app/widgets/rgb.h"

// The five series, numbered as on the chart.
enum SeriesIndex { kSeries1 = 1, kSeries2, kSeries3, kSeries4, kSeries5 };

struct AxisRange {
  double min = 0;
  double max = 0;
  double increment = 0;  // 0: left to the chart
};

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

// One run's rpm-versus-time curve drawn over the live series.
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

// Where the acceleration table shows its runs' curves: the live chart, which
// the window hands the table.
class RunCurvesView {
 public:
  virtual void ShowRunCurves(const RunCurves& runs) = 0;
  virtual void ClearRunCurves() = 0;
  virtual bool RunCurvesShown() const = 0;

 protected:
  ~RunCurvesView() = default;
};
