#pragma once
// The CSV data log: one file per session in the Logs folder, one row per
// decoded data frame. User-interface thread.

#include <cstdint>
#include <functional>
#include <string>

#include "common/linefile.h"
#include "ecu/ecu_data.h"

// The CSV log of one session after another: its open file and the counter
// origin of its Time column. A sink: one row per data frame while
// TCfg.WriteLog is on.
class CsvLog final : public EcuDataSink {
 public:
  // onError: where a failure's text goes (file and reason), once per failure.
  explicit CsvLog(std::function<void(const std::string&)> onError);
  CsvLog(const CsvLog&) = delete;
  CsvLog& operator=(const CsvLog&) = delete;

  void OnEcuData(const EcuDataRecord& d) override;

  // Creates Logs/YYYY-MM-DD_hh-mm-ss.csv and writes the header. On failure the
  // user is told (file and reason) and the session goes on without a log.
  void Open();
  // Opens the log at path (Open's work after naming the file); false on
  // failure, which has been reported.
  bool OpenFile(const std::string& path);
  // Appends the row of d in one write; does nothing without an open log. A
  // failed write cuts the file back to its last complete row, tells the user
  // once, and the session goes on without a log.
  void WriteRow(const EcuDataRecord& d);
  void Close();
  bool IsOpen() const;
  // Path of the open (or last) log file.
  std::string FilePath() const;

 private:
  void Fail(int err);
  bool WriteLine(const std::string& line);

  std::function<void(const std::string&)> onError_;
  LineFile file_;
  std::int64_t origin_ = 0;
  std::int64_t frequency_ = 1;
};

// The header line (without CR LF).
std::string LogHeader();
// One row (without CR LF); timeMs is the Time column's milliseconds.
std::string FormatLogRow(const EcuDataRecord& d, std::int64_t timeMs);
// The value of one variable in its log form; empty for an unknown name
// (compared exactly, case included).
std::string FormatLogValue(const std::string& name, const EcuDataRecord& d);
// The values of a comma-separated list of names, comma-separated.
std::string FormatLogRow(const std::string& names, const EcuDataRecord& d);
// Whole milliseconds between two counter values.
std::int64_t LogElapsedMs(std::int64_t origin, std::int64_t now, std::int64_t frequency);
