#pragma once
// The CSV data log: one file per session in the Logs folder, one row per
// decoded data frame. User-interface thread.

#include <cstdint>
#include <string>

struct EcuDataRecord;

// Creates Logs/YYYY-MM-DD_hh-mm-ss.csv and writes the header. On failure the
// user is told once (file and reason) and the session goes on without a log.
void OpenLog();
// Appends the row of the current EcuData; does nothing without an open log.
void WriteLogRow();
void CloseLog();
bool LogIsOpen();
// Path of the open (or last) log file.
std::string LogFilePath();

// The header line (without CR LF).
std::string LogHeader();
// One row (without CR LF); timeMs is the Time column's milliseconds.
std::string FormatLogRow(const EcuDataRecord& d, std::int64_t timeMs);
