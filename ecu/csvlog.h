#pragma once
// The CSV data log: one file per session in the Logs folder, one row per
// decoded data frame. User-interface thread.

#include <cstdint>
#include <string>

#include "ecu/ecu_data.h"

// The CSV log as a sink: one row per data frame while TCfg.WriteLog is on.
class CsvLogSink final : public EcuDataSink {
 public:
  void OnEcuData(const EcuDataRecord& d) override;
};

// Creates Logs/YYYY-MM-DD_hh-mm-ss.csv and writes the header. On failure the
// user is told once (file and reason) and the session goes on without a log.
void OpenLog();
// Appends the row of d in one write; does nothing without an open log. A
// failed write cuts the file back to its last complete row, tells the user
// once, and the session goes on without a log.
void WriteLogRow(const EcuDataRecord& d);
void CloseLog();
bool LogIsOpen();
// Path of the open (or last) log file.
std::string LogFilePath();

// The header line (without CR LF).
std::string LogHeader();
// One row (without CR LF); timeMs is the Time column's milliseconds.
std::string FormatLogRow(const EcuDataRecord& d, std::int64_t timeMs);
// The value of one variable in its log form; empty for an unknown name
// (compared exactly, case included).
std::string FormatLogValue(const std::string& name, const EcuDataRecord& d);
// The values of a comma-separated list of names, comma-separated.
std::string FormatLogRow(const std::string& names, const EcuDataRecord& d);
// Opens the log at path (OpenLog's work after naming the file); false on
// failure, which has been reported.
bool OpenLogFile(const std::string& path);
// Whole milliseconds between two counter values.
std::int64_t LogElapsedMs(std::int64_t origin, std::int64_t now, std::int64_t frequency);
