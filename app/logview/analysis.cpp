#include "app/logview/analysis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

namespace {

// A column of the log (they are always there: the reader refuses a log
// without them), or no values.
ChannelValues ColumnValues(const LogChannels& channels, const char* name) {
  const auto i = channels.IndexOf(name);
  return i ? channels.Values(*i) : ChannelValues();
}

}  // namespace

std::vector<std::uint32_t> FilterRows(const LogChannels& channels, const LogTable& table,
                                      const LogFilters& filters, double visibleFrom, double visibleTo) {
  const std::size_t rows = table.RowCount();
  std::size_t first = 0, end = rows;
  if (filters.visibleOnly) {
    const auto& t = table.Times();
    first = static_cast<std::size_t>(std::lower_bound(t.begin(), t.end(), visibleFrom) - t.begin());
    end = std::max(first,
                   static_cast<std::size_t>(std::upper_bound(t.begin(), t.end(), visibleTo) - t.begin()));
  }
  const ChannelValues idle = filters.idle ? ColumnValues(channels, "fXX") : ChannelValues();
  const ChannelValues cut = filters.fuelCut ? ColumnValues(channels, "fFUELOFF") : ChannelValues();
  const ChannelValues lambda = filters.noLambda ? ColumnValues(channels, "AFR_LC1") : ChannelValues();
  ChannelValues transient;
  if (filters.transients)
    if (const auto i = channels.IndexOf(filters.transientVariable)) transient = channels.Values(*i);
  std::vector<std::uint32_t> out;
  out.reserve(end - first);
  for (std::size_t r = first; r < end; ++r) {
    if (idle.Valid() && idle.At(r) == 1) continue;
    if (cut.Valid() && cut.At(r) == 1) continue;
    if (lambda.Valid() && lambda.At(r) == -1.0) continue;
    if (transient.Valid() && r > 0) {
      const double change = std::fabs(transient.At(r) - transient.At(r - 1));
      if (change > filters.transientLimit) continue;  // NaN (no value) is no transient
    }
    out.push_back(static_cast<std::uint32_t>(r));
  }
  return out;
}

std::vector<double> EvenBreakpoints(double lo, double hi, int count, int decimals) {
  std::vector<double> out;
  const double scale = std::pow(10.0, decimals);
  for (int i = 0; i < count; ++i) {
    const double v = count > 1 ? lo + (hi - lo) * i / (count - 1) : lo;
    const double rounded = std::round(v * scale) / scale;
    if (out.empty() || rounded > out.back()) out.push_back(rounded);
  }
  return out;
}

std::vector<double> ParseBreakpoints(const std::string& text) {
  std::string t = text;
  std::replace(t.begin(), t.end(), ',', '.');
  std::replace(t.begin(), t.end(), ';', ' ');
  std::replace(t.begin(), t.end(), '\t', ' ');
  std::istringstream in(t);
  std::vector<double> out;
  for (std::string word; in >> word;) {
    const auto v = ParseNumber(word);
    if (!v || (!out.empty() && *v <= out.back())) return {};
    out.push_back(*v);
  }
  if (out.size() < 2) return {};
  return out;
}

std::optional<double> ParseNumber(std::string_view text) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

std::string FormatNumber(double v, int decimals, char decimalPoint) {
  char text[400];
  const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, std::max(decimals, 0));
  std::string s(text, r.ptr);
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);  // no "-0.00"
  std::replace(s.begin(), s.end(), '.', decimalPoint);
  return s;
}

std::string FormatBreakpoints(const std::vector<double>& breaks) {
  std::string out;
  for (const double b : breaks) {
    std::string s = FormatNumber(b, 6);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    out += (out.empty() ? "" : " ") + s;
  }
  return out;
}

std::size_t NearestBreakpoint(const std::vector<double>& breaks, double v) {
  const auto it = std::lower_bound(breaks.begin(), breaks.end(), v);
  if (it == breaks.begin()) return 0;
  if (it == breaks.end()) return breaks.size() - 1;
  const std::size_t hi = static_cast<std::size_t>(it - breaks.begin());
  return v - breaks[hi - 1] <= breaks[hi] - v ? hi - 1 : hi;  // a tie goes to the lower one
}

void CellTable::Compute(const std::vector<std::uint32_t>& rows, ChannelValues x, ChannelValues y,
                        ChannelValues z, std::vector<double> xBreaks, std::vector<double> yBreaks) {
  xBreaks_ = std::move(xBreaks);
  yBreaks_ = std::move(yBreaks);
  cells_.assign(xBreaks_.size() * yBreaks_.size(), {});
  rowsUsed_ = 0;
  if (cells_.empty()) return;
  for (const std::uint32_t r : rows) {
    const double xv = x.At(r), yv = y.At(r), zv = z.At(r);
    if (std::isnan(xv) || std::isnan(yv) || std::isnan(zv)) continue;
    Cell& c = cells_[NearestBreakpoint(yBreaks_, yv) * xBreaks_.size() + NearestBreakpoint(xBreaks_, xv)];
    if (c.hits == 0) {
      c.min = c.max = zv;
    } else {
      c.min = std::min(c.min, zv);
      c.max = std::max(c.max, zv);
    }
    ++c.hits;
    c.sum += zv;
    ++rowsUsed_;
  }
}

double CellTable::Value(std::size_t xi, std::size_t yi, CellStatistic s) const {
  const Cell& c = At(xi, yi);
  if (c.hits == 0) return std::numeric_limits<double>::quiet_NaN();
  switch (s) {
    case CellStatistic::Mean:
      return c.sum / c.hits;
    case CellStatistic::Min:
      return c.min;
    case CellStatistic::Max:
      return c.max;
    case CellStatistic::Count:
      break;
  }
  return c.hits;
}

std::pair<double, double> CellTable::Range(CellStatistic s, std::uint32_t minHits) const {
  double lo = std::numeric_limits<double>::quiet_NaN(), hi = lo;
  for (std::size_t yi = 0; yi < yBreaks_.size(); ++yi)
    for (std::size_t xi = 0; xi < xBreaks_.size(); ++xi) {
      if (At(xi, yi).hits == 0 || At(xi, yi).hits < minHits) continue;
      const double v = Value(xi, yi, s);
      lo = std::isnan(lo) ? v : std::min(lo, v);
      hi = std::isnan(hi) ? v : std::max(hi, v);
    }
  return {lo, hi};
}

std::string CellTable::Tsv(CellStatistic s, const std::string& xName, const std::string& yName,
                           char decimalPoint, int decimals) const {
  auto axis = [&](double v) {
    std::string t = FormatBreakpoints({v});
    std::replace(t.begin(), t.end(), '.', decimalPoint);
    return t;
  };
  std::string out = yName + " \\ " + xName;
  for (const double x : xBreaks_) {
    out += '\t';  // not "\t" + axis(x): GCC 12's false -Wrestrict at -O3
    out += axis(x);
  }
  out += "\r\n";
  for (std::size_t yi = 0; yi < yBreaks_.size(); ++yi) {
    out += axis(yBreaks_[yi]);
    for (std::size_t xi = 0; xi < xBreaks_.size(); ++xi) {
      out += "\t";
      const double v = Value(xi, yi, s);
      if (!std::isnan(v)) out += FormatNumber(v, s == CellStatistic::Count ? 0 : decimals, decimalPoint);
    }
    out += "\r\n";
  }
  return out;
}

Histogram ComputeHistogram(const std::vector<std::uint32_t>& rows, ChannelValues v, int bins) {
  Histogram h;
  bins = std::max(bins, 1);
  double lo = 0, hi = 0;
  bool any = false;
  for (const std::uint32_t r : rows) {
    const double x = v.At(r);
    if (std::isnan(x)) continue;
    lo = any ? std::min(lo, x) : x;
    hi = any ? std::max(hi, x) : x;
    any = true;
  }
  h.counts.assign(static_cast<std::size_t>(bins), 0);
  if (!any) return h;
  if (hi == lo) hi = lo + 1;  // one value: a bin of width 1/bins around it
  h.lo = lo;
  h.width = (hi - lo) / bins;
  for (const std::uint32_t r : rows) {
    const double x = v.At(r);
    if (std::isnan(x)) continue;
    const auto bin = std::min(static_cast<std::size_t>((x - lo) / h.width), h.counts.size() - 1);
    ++h.counts[bin];
  }
  return h;
}

RangeStats StatsOverRows(ChannelValues v, std::size_t first, std::size_t last) {
  RangeStats s;
  double sum = 0;
  for (std::size_t r = first; r <= last; ++r) {
    const double x = v.At(r);
    if (std::isnan(x)) continue;
    s.min = s.count ? std::min(s.min, x) : x;
    s.max = s.count ? std::max(s.max, x) : x;
    sum += x;
    ++s.count;
  }
  if (s.count) s.mean = sum / static_cast<double>(s.count);
  return s;
}
