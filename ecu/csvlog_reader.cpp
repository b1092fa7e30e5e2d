#include "ecu/csvlog_reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "common/error.h"
#include "common/format.h"
#include "ecu/csvlog.h"

namespace {

constexpr int kTimeColumn = -1;
constexpr int kIgnored = -2;
// A log row is a few hundred bytes; a longer line is not one.
constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::size_t kMaxNamesListed = 10;

// A float gives back a value to `decimals` places when its rounding error,
// at most |value| × 2^-24, stays under a quarter of the last place.
bool FloatKeeps(double maxAbs, int decimals) {
  return decimals <= 7 && maxAbs * std::pow(10.0, decimals) < 4194304.0;  // 2^22
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A plain decimal as the log writes it: an optional minus, digits, and an
// optional point with digits. Up to 15 digits the value is the mantissa
// divided by a power of ten, which rounds correctly; longer ones go through
// from_chars.
bool ParseDecimal(std::string_view s, double& value, int& decimals) {
  const char* p = s.data();
  const char* const end = p + s.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  const char* const start = p;
  std::uint64_t mantissa = 0;
  int digits = 0, frac = 0;
  bool point = false;
  for (; p < end; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      if (digits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      ++digits;
      if (point) ++frac;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  decimals = frac;
  if (digits <= 15) {
    value = static_cast<double>(mantissa) / kPow10[frac];
  } else {
    const auto r = std::from_chars(start, end, value, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(value)) return false;
  }
  if (negative) value = -value;
  return true;
}

std::vector<std::string> SplitNames(std::string_view line) {
  const std::vector<std::string_view> fields = SplitCommas(line);
  return {fields.begin(), fields.end()};
}

// The log's columns: Time, then the 89 variables.
const std::vector<std::string>& LogColumnNames() {
  static const std::vector<std::string> names = SplitNames(LogHeader());
  return names;
}

std::string ListNames(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size() && i < kMaxNamesListed; ++i) out += (i ? ", " : "") + names[i];
  if (names.size() > kMaxNamesListed) out += " и ещё " + std::to_string(names.size() - kMaxNamesListed);
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------

void LogColumn::Append(double value, int decimals) {
  const int dec = std::max(decimals_, decimals);
  const double maxAbs = std::max(maxAbs_, std::fabs(value));
  if (!wide_ && !FloatKeeps(maxAbs, dec)) Widen();
  if (Size() == 0) {
    min_ = max_ = value;
  } else {
    min_ = std::min(min_, value);
    max_ = std::max(max_, value);
  }
  decimals_ = dec;
  maxAbs_ = maxAbs;
  if (wide_)
    wideValues_.push_back(value);
  else
    values_.push_back(static_cast<float>(value));
}

void LogColumn::Widen() {
  // The floats so far are exact to decimals_ places: rounding there gives the
  // written values back.
  const double scale = std::pow(10.0, decimals_);
  wideValues_.reserve(values_.capacity());
  for (const float f : values_) wideValues_.push_back(std::round(static_cast<double>(f) * scale) / scale);
  std::vector<float>().swap(values_);
  wide_ = true;
}

void LogColumn::Reserve(std::size_t rows) {
  if (wide_)
    wideValues_.reserve(rows);
  else
    values_.reserve(rows);
}

void LogColumn::ShrinkToFit() {
  // Only a clear overshoot is worth the copy.
  if (values_.capacity() > values_.size() + values_.size() / 8) values_.shrink_to_fit();
  if (wideValues_.capacity() > wideValues_.size() + wideValues_.size() / 8) wideValues_.shrink_to_fit();
}

std::size_t LogColumn::MemoryBytes() const {
  return values_.capacity() * sizeof(float) + wideValues_.capacity() * sizeof(double);
}

// ---------------------------------------------------------------------------

std::optional<std::size_t> LogTable::IndexOf(std::string_view name) const {
  const auto it = std::find(names_.begin(), names_.end(), name);
  if (it == names_.end()) return std::nullopt;
  return static_cast<std::size_t>(it - names_.begin());
}

std::string LogTable::FormatValue(std::size_t var, std::size_t row) const {
  char buf[64];
  const LogColumn& c = columns_[var];
  const auto r = std::to_chars(buf, buf + sizeof buf, c.At(row), std::chars_format::fixed, c.Decimals());
  return std::string(buf, r.ptr);
}

std::size_t LogTable::NearestRow(double t) const {
  const auto it = std::lower_bound(times_.begin(), times_.end(), t);
  if (it == times_.begin()) return 0;
  if (it == times_.end()) return times_.size() - 1;
  const std::size_t after = static_cast<std::size_t>(it - times_.begin());
  return t - times_[after - 1] <= times_[after] - t ? after - 1 : after;
}

std::size_t LogTable::MemoryBytes() const {
  std::size_t bytes = times_.capacity() * sizeof(double);
  for (const LogColumn& c : columns_) bytes += c.MemoryBytes();
  return bytes;
}

const std::vector<std::string>& LogVariableNames() {
  static const std::vector<std::string> names(LogColumnNames().begin() + 1, LogColumnNames().end());
  return names;
}

bool IsFlagVariable(std::string_view name) { return name.size() > 1 && name[0] == 'f'; }

// ---------------------------------------------------------------------------

namespace {

std::size_t SkippedCount(const std::vector<LogSkip>& skips) {
  std::size_t n = 0;
  for (const LogSkip& s : skips) n += s.count;
  return n;
}

}  // namespace

std::size_t LogReadResult::SkippedLines() const { return SkippedCount(skips); }

std::string LogReadResult::SkipReport() const { return SkipReportText(skips, dataLines, "лог"); }

std::string SkipReportText(const std::vector<LogSkip>& skips, std::size_t dataLines, std::string_view file) {
  const std::size_t skipped = SkippedCount(skips);
  if (skipped == 0) return {};
  std::string text = "Пропущено строк: " + std::to_string(skipped) + " из " + std::to_string(dataLines) + ".";
  for (const LogSkip& s : skips) {
    const std::string first = std::to_string(s.firstLine);
    const std::string count = std::to_string(s.count);
    text += "\n— ";
    switch (s.reason) {
      case LogSkipReason::CutOff:
        text += "последняя строка " + first + " оборвана: " + std::string(file) + " не был дописан до конца";
        break;
      case LogSkipReason::FieldCount:
        text += "с неверным числом полей: " + count + " (первая — строка " + first + ", полей " + s.detail +
                " вместо " + std::to_string(LogColumnNames().size()) + ")";
        break;
      case LogSkipReason::NotNumber:
        text +=
            "с нечисловым значением: " + count + " (первая — строка " + first + ", столбец " + s.detail + ")";
        break;
      case LogSkipReason::TimeBackwards:
        text += "со временем меньше, чем в строке перед ней: " + count + " (первая — строка " + first + ")";
        break;
      case LogSkipReason::TooLong:
        text += "слишком длинных: " + count + " (первая — строка " + first + ")";
        break;
    }
    text += &s == &skips.back() ? "." : ";";
  }
  return text;
}

// ---------------------------------------------------------------------------

LogParser::LogParser(std::uint64_t sizeHint) : sizeHint_(sizeHint) {}

void LogParser::Feed(std::string_view bytes) {
  while (!bytes.empty() && !Refused()) {
    const std::size_t nl = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, nl);
    if (!discarding_ && partial_.size() + piece.size() > kMaxLine) {
      discarding_ = true;
      partial_.clear();
      ++lineNo_;
      if (haveHeader_) {
        ++result_.dataLines;
        Skip(LogSkipReason::TooLong);
      } else {
        result_.error =
            "Это не лог программы: первая строка файла длиннее " + std::to_string(kMaxLine / 1024) + " КБ.";
      }
    }
    if (nl == std::string_view::npos) {
      if (!discarding_) partial_.append(piece);
      return;
    }
    bytes.remove_prefix(nl + 1);
    if (discarding_) {
      discarding_ = false;
      continue;
    }
    ++lineNo_;
    if (partial_.empty()) {
      Line(piece);
    } else {
      partial_.append(piece);
      Line(partial_);
      partial_.clear();
    }
  }
}

void LogParser::Line(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!haveHeader_) {
    Header(line);
    return;
  }
  if (line.empty()) return;  // a blank line holds no data
  ++result_.dataLines;
  Row(line);
}

void LogParser::Header(std::string_view line) {
  haveHeader_ = true;
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // a UTF-8 mark from a spreadsheet
  const std::vector<std::string> fileNames = SplitNames(line);
  const std::vector<std::string>& names = LogColumnNames();
  columnOf_.assign(fileNames.size(), kIgnored);
  std::vector<std::string> missing;
  for (std::size_t n = 0; n < names.size(); ++n) {
    const auto it = std::find(fileNames.begin(), fileNames.end(), names[n]);
    if (it == fileNames.end()) {
      missing.push_back(names[n]);
      continue;
    }
    columnOf_[static_cast<std::size_t>(it - fileNames.begin())] =
        n == 0 ? kTimeColumn : static_cast<int>(n - 1);
  }
  if (!missing.empty()) {
    result_.error = "Это не лог программы: в строке заголовка нет столбц" +
                    std::string(missing.size() == 1 ? "а " : "ов ") + ListNames(missing) + ".";
    return;
  }
  fileColumns_ = fileNames.size();
  LogTable& t = result_.table;
  t.names_ = LogVariableNames();
  t.columns_.resize(t.names_.size());
  rowValues_.resize(t.names_.size());
  rowDecimals_.resize(t.names_.size());
}

void LogParser::Skip(LogSkipReason reason, std::string detail) {
  for (LogSkip& s : result_.skips) {
    if (s.reason == reason) {
      ++s.count;
      return;
    }
  }
  result_.skips.push_back({reason, 1, lineNo_, std::move(detail)});
}

void LogParser::Row(std::string_view line) {
  LogTable& t = result_.table;
  const std::size_t fields = static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) + 1;
  if (fields != fileColumns_) {
    Skip(LogSkipReason::FieldCount, std::to_string(fields));
    return;
  }
  double time = 0;
  std::size_t start = 0;
  for (std::size_t column = 0; column < fileColumns_; ++column) {
    const std::size_t comma = std::min(line.find(',', start), line.size());
    const int var = columnOf_[column];
    if (var != kIgnored) {
      double value;
      int decimals;
      if (!ParseDecimal(line.substr(start, comma - start), value, decimals)) {
        Skip(LogSkipReason::NotNumber, var == kTimeColumn ? "Time" : t.names_[static_cast<std::size_t>(var)]);
        return;
      }
      if (var == kTimeColumn) {
        time = value;
      } else {
        rowValues_[static_cast<std::size_t>(var)] = value;
        rowDecimals_[static_cast<std::size_t>(var)] = decimals;
      }
    }
    start = comma + 1;
  }
  if (!t.times_.empty() && time < t.times_.back()) {
    Skip(LogSkipReason::TimeBackwards);
    return;
  }
  if (t.times_.empty() && sizeHint_ > 0) {
    // Room for the rows the file can hold at this row's length.
    const std::size_t rows = static_cast<std::size_t>(sizeHint_ / (line.size() + 2) + 16);
    t.times_.reserve(rows);
    for (LogColumn& c : t.columns_) c.Reserve(rows);
  }
  t.times_.push_back(time);
  for (std::size_t v = 0; v < t.columns_.size(); ++v) t.columns_[v].Append(rowValues_[v], rowDecimals_[v]);
}

LogReadResult LogParser::Finish() {
  if (!Refused()) {
    if (!haveHeader_ && partial_.empty()) {
      result_.error = "Файл пуст: в нём нет строки заголовка с именами столбцов лога.";
    } else if (!partial_.empty() && (!haveHeader_ || partial_.back() == '\r')) {
      // A header alone without a line end, or a row that lacks only the LF.
      ++lineNo_;
      Line(partial_);
    } else if (!partial_.empty()) {
      // Rows end with a line end; text after the last one is a row cut off
      // part way (a crash), whose last value may be cut too.
      ++lineNo_;
      ++result_.dataLines;
      Skip(LogSkipReason::CutOff);
    }
  }
  partial_.clear();
  if (!Refused() && result_.table.RowCount() == 0) {
    result_.error = "В логе нет ни одной полной строки данных.";
    const std::string report = result_.SkipReport();
    if (!report.empty()) result_.error += "\n" + report;
  }
  if (Refused()) {
    result_.table = LogTable();
  } else {
    LogTable& t = result_.table;
    if (t.times_.capacity() > t.times_.size() + t.times_.size() / 8) t.times_.shrink_to_fit();
    for (LogColumn& c : t.columns_) c.ShrinkToFit();
  }
  return std::move(result_);
}

// ---------------------------------------------------------------------------

LogReadResult ReadLogFile(const std::string& path, LogReadProgress* progress) {
  const std::filesystem::path file(reinterpret_cast<const char8_t*>(path.c_str()));
  LogReadResult refused;
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    refused.error = FileReadErrorText(EISDIR);
    return refused;
  }
  const std::uint64_t size = std::filesystem::file_size(file, ec);
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    refused.error = FileReadErrorText(errno ? errno : ENOENT);
    return refused;
  }
  if (progress) progress->bytesTotal = ec ? 0 : size;
  LogParser parser(ec ? 0 : size);
  std::vector<char> buf(1 << 20);
  while (!parser.Refused()) {
    if (progress && progress->cancel) {
      refused.cancelled = true;
      return refused;
    }
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    const std::streamsize n = in.gcount();
    if (n > 0) parser.Feed(std::string_view(buf.data(), static_cast<std::size_t>(n)));
    if (progress) progress->bytesRead += static_cast<std::uint64_t>(n);
    if (in.bad()) {
      refused.error = FileReadErrorText(errno ? errno : EIO);
      return refused;
    }
    if (in.eof()) break;
  }
  return parser.Finish();
}
