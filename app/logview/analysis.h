#pragma once
// What the cell table, the scatter plot and the histogram compute from a log,
// without widgets: the rows that pass the filters, the statistic of a variable
// per cell of two others, a histogram, and minimum / maximum / mean over a
// time range. Plain C++; user-interface thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/logview/channels.h"

// Rows left out of the cell table, the scatter plot and the histogram.
struct LogFilters {
  bool idle = true;        // fXX = 1
  bool fuelCut = true;     // fFUELOFF = 1
  bool noLambda = true;    // AFR_LC1 = -1.0: no LC-1 reading
  bool transients = true;  // transientVariable changed by more than transientLimit since the row before
  std::string transientVariable = "THR";
  double transientLimit = 5;
  bool visibleOnly = false;  // only the time range shown in the tracks
  bool operator==(const LogFilters&) const = default;
};

// The rows that pass, in order. visibleFrom..visibleTo: the time range shown.
std::vector<std::uint32_t> FilterRows(const LogChannels& channels, const LogTable& table,
                                      const LogFilters& filters, double visibleFrom, double visibleTo);

enum class CellStatistic { Mean, Min, Max, Count };

// count breakpoints from lo to hi, rounded to the given decimals.
std::vector<double> EvenBreakpoints(double lo, double hi, int count, int decimals);
// "600 987 1373": numbers separated by blanks, ";" or tabs; a comma is a
// decimal point. Empty when the text is not a rising list of two or more.
std::vector<double> ParseBreakpoints(const std::string& text);
std::string FormatBreakpoints(const std::vector<double>& breaks);

// A row goes to the cell of the breakpoint nearest its value; values beyond
// the first or last breakpoint go to that one, as the ECU's table would
// clamp them.
std::size_t NearestBreakpoint(const std::vector<double>& breaks, double v);

class CellTable {
 public:
  struct Cell {
    std::uint32_t hits = 0;
    double sum = 0, min = 0, max = 0;
  };
  // Rows whose x, y or z has no value are left out.
  void Compute(const std::vector<std::uint32_t>& rows, ChannelValues x, ChannelValues y, ChannelValues z,
               std::vector<double> xBreaks, std::vector<double> yBreaks);

  const std::vector<double>& XBreaks() const { return xBreaks_; }
  const std::vector<double>& YBreaks() const { return yBreaks_; }
  const Cell& At(std::size_t xi, std::size_t yi) const { return cells_[yi * xBreaks_.size() + xi]; }
  // The statistic of a cell; NaN for a cell without hits.
  double Value(std::size_t xi, std::size_t yi, CellStatistic s) const;
  // Smallest and largest value among cells with at least minHits hits.
  std::pair<double, double> Range(CellStatistic s, std::uint32_t minHits) const;
  std::size_t RowsUsed() const { return rowsUsed_; }

  // Tab-separated, first line the X breakpoints after the axis names, then
  // each Y breakpoint and its row's values; cells without hits empty.
  std::string Tsv(CellStatistic s, const std::string& xName, const std::string& yName, char decimalPoint,
                  int decimals) const;

 private:
  std::vector<double> xBreaks_, yBreaks_;
  std::vector<Cell> cells_;
  std::size_t rowsUsed_ = 0;
};

struct Histogram {
  double lo = 0, width = 0;
  std::vector<std::uint32_t> counts;
};
// bins equal bins over the values' range among rows.
Histogram ComputeHistogram(const std::vector<std::uint32_t>& rows, ChannelValues v, int bins);

struct RangeStats {
  std::size_t count = 0;  // rows with a value
  double min = 0, max = 0, mean = 0;
};
// Over rows first..last (inclusive).
RangeStats StatsOverRows(ChannelValues v, std::size_t first, std::size_t last);

// A number with the given decimals and decimal point, no thousands separator.
std::string FormatNumber(double v, int decimals, char decimalPoint = '.');
// A plain decimal number with "." as the point (whatever the locale).
std::optional<double> ParseNumber(std::string_view text);
