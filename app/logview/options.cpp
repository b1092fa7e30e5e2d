#include "app/logview/options.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr int kBreakpointCount = 16;
const std::array<std::pair<CellStatistic, const char*>, 4> kStatistics{{{CellStatistic::Mean, "mean"},
                                                                        {CellStatistic::Min, "min"},
                                                                        {CellStatistic::Max, "max"},
                                                                        {CellStatistic::Count, "count"}}};
const char* const kBreakpointsKey = "Breakpoints.";
const char* const kChannelKey = "Channel";

const std::string* Find(const std::map<std::string, std::string>& keys, const std::string& key) {
  const auto it = keys.find(key);
  return it == keys.end() ? nullptr : &it->second;
}

void ReadText(const std::map<std::string, std::string>& keys, const char* key, std::string& out) {
  if (const auto* v = Find(keys, key)) out = *v;
}

void ReadFlag(const std::map<std::string, std::string>& keys, const char* key, bool& out) {
  if (const auto* v = Find(keys, key)) out = *v != "0";
}

void ReadNumber(const std::map<std::string, std::string>& keys, const char* key, double& out) {
  const auto* v = Find(keys, key);
  if (!v) return;
  if (const auto d = ParseNumber(*v)) out = *d;
}

void ReadInt(const std::map<std::string, std::string>& keys, const char* key, int& out, int lo, int hi) {
  double d = out;
  ReadNumber(keys, key, d);
  if (d >= lo && d <= hi) out = static_cast<int>(d);
}

}  // namespace

LogViewOptions LogViewOptions::Load(const std::map<std::string, std::string>& keys) {
  LogViewOptions o;
  ReadText(keys, "CellX", o.cellX);
  ReadText(keys, "CellY", o.cellY);
  ReadText(keys, "CellZ", o.cellZ);
  if (const auto* v = Find(keys, "CellStatistic"))
    for (const auto& [s, name] : kStatistics)
      if (*v == name) o.statistic = s;
  ReadInt(keys, "CellMinHits", o.minHits, 0, 1000000);
  ReadText(keys, "CellCentre", o.centre);
  for (const auto& [key, value] : keys)
    if (key.rfind(kBreakpointsKey, 0) == 0) {
      const auto breaks = ParseBreakpoints(value);
      if (!breaks.empty()) o.breakpoints[key.substr(std::string(kBreakpointsKey).size())] = breaks;
    }
  ReadFlag(keys, "FilterIdle", o.filters.idle);
  ReadFlag(keys, "FilterFuelCut", o.filters.fuelCut);
  ReadFlag(keys, "FilterNoLC1", o.filters.noLambda);
  ReadFlag(keys, "FilterTransients", o.filters.transients);
  ReadText(keys, "TransientVariable", o.filters.transientVariable);
  ReadNumber(keys, "TransientLimit", o.filters.transientLimit);
  ReadFlag(keys, "FilterVisibleOnly", o.filters.visibleOnly);
  ReadText(keys, "ScatterX", o.scatterX);
  ReadText(keys, "ScatterY", o.scatterY);
  ReadText(keys, "ScatterColour", o.scatterColour);
  ReadText(keys, "HistogramVariable", o.histogramVariable);
  ReadInt(keys, "HistogramBins", o.histogramBins, 1, 1000);
  // Channels=N, then Channel1..ChannelN as "name:formula"; the defaults
  // stand until the user has changed the list once.
  int count = -1;
  ReadInt(keys, "Channels", count, 0, 1000);
  if (count >= 0) {
    o.channels.clear();
    for (int i = 1; i <= count; ++i) {
      const auto* v = Find(keys, kChannelKey + std::to_string(i));
      const std::size_t colon = v ? v->find(':') : std::string::npos;
      if (colon == std::string::npos) continue;
      ComputedChannel c{v->substr(0, colon), v->substr(colon + 1)};
      if (CheckChannelName(c.name, LogVariableNames(), o.channels).empty()) o.channels.push_back(c);
    }
  }
  return o;
}

void LogViewOptions::Save(std::map<std::string, std::string>& keys) const {
  keys["CellX"] = cellX;
  keys["CellY"] = cellY;
  keys["CellZ"] = cellZ;
  for (const auto& [s, name] : kStatistics)
    if (s == statistic) keys["CellStatistic"] = name;
  keys["CellMinHits"] = std::to_string(minHits);
  keys["CellCentre"] = centre;
  for (const auto& [name, breaks] : breakpoints) keys[kBreakpointsKey + name] = FormatBreakpoints(breaks);
  keys["FilterIdle"] = filters.idle ? "1" : "0";
  keys["FilterFuelCut"] = filters.fuelCut ? "1" : "0";
  keys["FilterNoLC1"] = filters.noLambda ? "1" : "0";
  keys["FilterTransients"] = filters.transients ? "1" : "0";
  keys["TransientVariable"] = filters.transientVariable;
  keys["TransientLimit"] = FormatBreakpoints({filters.transientLimit});
  keys["FilterVisibleOnly"] = filters.visibleOnly ? "1" : "0";
  keys["ScatterX"] = scatterX;
  keys["ScatterY"] = scatterY;
  keys["ScatterColour"] = scatterColour;
  keys["HistogramVariable"] = histogramVariable;
  keys["HistogramBins"] = std::to_string(histogramBins);
  keys["Channels"] = std::to_string(channels.size());
  for (std::size_t i = 0; i < channels.size(); ++i)
    keys[kChannelKey + std::to_string(i + 1)] = channels[i].name + ":" + channels[i].formula;
  // Channels deleted since: their keys are emptied (the ini keeps its lines).
  for (auto& [key, value] : keys)
    if (key.rfind(kChannelKey, 0) == 0 && key != "Channels") {
      const std::string n = key.substr(std::string(kChannelKey).size());
      const auto i = ParseNumber(n);
      if (!n.empty() && n.find_first_not_of("0123456789") == std::string::npos && i && *i > channels.size())
        value.clear();
    }
}

std::vector<double> DefaultBreakpoints(const std::string& name, double lo, double hi, int decimals) {
  if (name == "RPM") return EvenBreakpoints(600, 6400, kBreakpointCount, 0);
  if (hi <= lo) hi = lo + 1;
  return EvenBreakpoints(lo, hi, kBreakpointCount, std::max(decimals, 2));
}
