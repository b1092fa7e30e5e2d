#pragma once
// The log view's choices kept in cfg.ini [LogView] beside Tracks: the cell
// table's variables, statistic, hit threshold, colour centre and breakpoints
// (per variable), the filters, the scatter plot's and histogram's variables
// and the computed channels. Plain C++; user-interface thread.

#include <map>
#include <string>
#include <vector>

#include "app/logview/analysis.h"
#include "app/logview/formula.h"

struct LogViewOptions {
  std::string cellX = "RPM", cellY = "GBC", cellZ = "LC1/AFR";
  CellStatistic statistic = CellStatistic::Mean;
  int minHits = 10;
  std::string centre = "1.00";  // empty: the middle of the values shown
  // Variable name -> breakpoints the user set (otherwise the defaults).
  std::map<std::string, std::vector<double>> breakpoints;
  LogFilters filters;
  std::string scatterX = "RPM", scatterY = "GBC", scatterColour = "LC1/AFR";
  std::string histogramVariable = "LC1/AFR";
  int histogramBins = 40;
  std::vector<ComputedChannel> channels{{"LC1/AFR", "AFR_LC1/AFR"}};

  // From the keys of cfg.ini [LogView]; a missing or unreadable key keeps its default.
  static LogViewOptions Load(const std::map<std::string, std::string>& keys);
  // Into those keys (others stay).
  void Save(std::map<std::string, std::string>& keys) const;
};

// Default breakpoints: RPM 600 to 6400, anything else over its range in the
// log; 16 each.
std::vector<double> DefaultBreakpoints(const std::string& name, double lo, double hi, int decimals);
