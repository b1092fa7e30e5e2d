#pragma once
// Reading a CSV data log back: the program's own logs and any CSV with the
// same header. A row is shown only when it can be trusted; a line cut off by a
// crash, with the wrong number of fields, a value that is not a plain decimal
// or a time running backwards is skipped and counted. A file whose first line
// lacks columns of the log is refused, naming them. Plain C++; one thread at a
// time per object (the window loads on a worker thread and then hands over).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The values of one variable. Kept as float while a float still gives back
// every value as the CSV wrote it (magnitude × 10^decimals well inside float
// precision); otherwise, from the first value that would not, as double.
class LogColumn {
 public:
  void Append(double value, int decimals);
  double At(std::size_t row) const { return wide_ ? wideValues_[row] : static_cast<double>(values_[row]); }
  std::size_t Size() const { return wide_ ? wideValues_.size() : values_.size(); }
  // Most digits after the point in any value of the column.
  int Decimals() const { return decimals_; }
  double Min() const { return min_; }
  double Max() const { return max_; }
  bool Wide() const { return wide_; }
  void Reserve(std::size_t rows);
  void ShrinkToFit();
  std::size_t MemoryBytes() const;

 private:
  void Widen();

  std::vector<float> values_;
  std::vector<double> wideValues_;
  bool wide_ = false;
  int decimals_ = 0;
  double maxAbs_ = 0, min_ = 0, max_ = 0;
};

// A loaded log: the time of each row and the 89 variables in the log's
// column order (whatever the order in the file).
class LogTable {
 public:
  const std::vector<std::string>& Names() const { return names_; }
  std::optional<std::size_t> IndexOf(std::string_view name) const;
  std::size_t RowCount() const { return times_.size(); }
  // Seconds since the log was opened.
  const std::vector<double>& Times() const { return times_; }
  const LogColumn& Column(std::size_t var) const { return columns_[var]; }
  double Value(std::size_t var, std::size_t row) const { return columns_[var].At(row); }
  // The value with the column's decimals and "." as the point: the number the
  // CSV holds.
  std::string FormatValue(std::size_t var, std::size_t row) const;
  // The row nearest to t (the earlier one on a tie). Needs at least one row.
  std::size_t NearestRow(double t) const;
  std::size_t MemoryBytes() const;

 private:
  friend class LogParser;
  std::vector<std::string> names_;
  std::vector<double> times_;
  std::vector<LogColumn> columns_;
};

// The log's 89 variables in column order (the header without Time).
const std::vector<std::string>& LogVariableNames();
// Flags (fXX, fDET, ...) are the variables named with a leading small "f".
bool IsFlagVariable(std::string_view name);

enum class LogSkipReason { CutOff, FieldCount, NotNumber, TimeBackwards, TooLong };

struct LogSkip {
  LogSkipReason reason;
  std::size_t count = 0;
  std::size_t firstLine = 0;  // line number in the file, the header being 1
  std::string detail;         // of the first line: the field count or the column
};

// What was skipped of a file's dataLines and why, for the user, e.g.
// "Пропущено строк: 1 из 4.\n— последняя строка 5 оборвана: лог не был
// дописан до конца."; `file` names what was not finished ("лог"). Empty when
// nothing was skipped.
std::string SkipReportText(const std::vector<LogSkip>& skips, std::size_t dataLines, std::string_view file);

struct LogReadResult {
  // Not empty: the file was refused; the text says why (Russian, for the user).
  std::string error;
  bool cancelled = false;  // the read was cancelled (error is then empty)
  LogTable table;
  std::size_t dataLines = 0;   // lines after the header, blank ones not counted
  std::vector<LogSkip> skips;  // one entry per reason met, in order of first meeting
  std::size_t SkippedLines() const;
  // What was skipped and why, for the user; empty when nothing was.
  std::string SkipReport() const;
};

// The parser behind ReadLogFile, fed the file's bytes in pieces of any size.
class LogParser {
 public:
  // sizeHint: the file's size, used to reserve room for the rows.
  explicit LogParser(std::uint64_t sizeHint = 0);
  void Feed(std::string_view bytes);
  // True once the header has refused the file; feeding more does nothing.
  bool Refused() const { return !result_.error.empty(); }
  LogReadResult Finish();

 private:
  void Line(std::string_view line);
  void Header(std::string_view line);
  void Row(std::string_view line);
  void Skip(LogSkipReason reason, std::string detail = {});

  LogReadResult result_;
  std::uint64_t sizeHint_;
  std::string partial_;      // the line begun in an earlier piece
  bool discarding_ = false;  // inside an overlong line, up to its end
  bool haveHeader_ = false;
  std::size_t lineNo_ = 0;
  // File column -> variable index; kTimeColumn for Time, kIgnored for others.
  std::vector<int> columnOf_;
  std::size_t fileColumns_ = 0;
  std::vector<double> rowValues_;
  std::vector<int> rowDecimals_;
};

// Progress of a load on another thread: bytes read so far and a cancel request.
struct LogReadProgress {
  std::atomic<std::uint64_t> bytesRead{0};
  std::atomic<std::uint64_t> bytesTotal{0};
  std::atomic<bool> cancel{false};
};

// Reads the log at path (UTF-8). A file that cannot be read is refused with
// the reason.
LogReadResult ReadLogFile(const std::string& path, LogReadProgress* progress = nullptr);
