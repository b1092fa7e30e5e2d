#pragma once
// The answer the acceleration table is kept for: which ignition correction
// revs the engine up fastest. Runs are compared by their total time over the
// same bands; single runs are noisy, so runs at one correction are summed up
// (count, mean, spread) and the fastest correction is called certain only
// when its lead is larger than the spread. Plain C++, any thread.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/accel/runs_file.h"

using RunBands = std::array<std::optional<double>, kRunBands>;

// Band rows first..last (1 = 2000 - 2500); first 0 when none.
struct BandRange {
  int first = 0;
  int last = 0;
  bool Empty() const { return first == 0; }
  int Rows() const { return Empty() ? 0 : last - first + 1; }
};

// The bands totals are compared over. A total is only comparable with one
// over the same bands: a run cut short or started late would otherwise look
// fastest. Chosen as the range of rows that keeps the most measured bands in
// the comparison (runs that have every band of it, times its rows); on a tie
// the wider, then the lower range.
BandRange ComparedBands(const std::vector<RunBands>& runs);
// The run's time over the range; none when it lacks a band of it.
std::optional<double> TotalOver(const RunBands& bands, const BandRange& range);

struct CorrectionGroup {
  double corrUOZ = 0;  // half-degree steps
  int count = 0;
  double mean = 0;
  double stddev = 0;  // sample standard deviation; 0 for a single run
  double min = 0;
  double max = 0;
};

// Times are compared as they are shown, to the millisecond: two that read
// the same are a tie. The table's highlights and the summary both rank by
// this, so they cannot disagree.
bool FasterAsShown(double a, double b);

enum class SummaryVerdict {
  NoRuns,          // nothing to compare
  OneCorrection,   // runs at one correction only
  Tie,             // the fastest means read the same
  MoreRunsNeeded,  // a fastest correction, but not yet beyond the noise
  Certain,         // faster than the next by more than both spreads, 3+ runs each
};

struct CorrectionSummary {
  std::vector<CorrectionGroup> groups;  // by mean as shown, fastest first; a tie in the order of the runs
  SummaryVerdict verdict = SummaryVerdict::NoRuns;
  // The groups sharing first place: 1, or more on a tie.
  int Leading() const;
};

struct ComparedRun {
  double corrUOZ = 0;
  double total = 0;
};

// Runs at corrections that differ by less than a half-degree step are one group.
CorrectionSummary SummarizeByCorrection(const std::vector<ComparedRun>& runs);

// Texts of the summary panel.
std::string CorrectionText(double corrUOZ);  // one decimal: "-2.5", "3.0"
std::string MeanText(const CorrectionGroup& g);
// "± 0.012" from 3 runs on, "0.310 - 0.335" for two, "—" for one.
std::string SpreadText(const CorrectionGroup& g);
std::string VerdictText(const CorrectionSummary& s);
// What the totals cover: "Время от 2000 до 7500 об/мин", and how many runs
// were left out for lacking a band of it.
std::string ComparedBandsText(const BandRange& range, int leftOut);
