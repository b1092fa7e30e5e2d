#pragma once
// The runs file: every finished acceleration run as one row, in Logs beside
// the CSV logs, and beside it the samples file with each run's speed samples
// (the curves). Both are ASCII CSV with "." decimals and CR LF line ends:
//
//   2026-12-09_10-18-48_runs.csv
//     Run,Time,CorrUOZ,RPMLimit,AvgAngle,FilterLen,2000-2500,...,7000-7500,Total,Deleted
//     1,2026-12-09 10:18:48,-2.5,1100,360,0,0.412,...,0.388,4.512,0
//   2026-12-09_10-18-48_runs_samples.csv
//     Run,Time,RPM
//     1,0.0183,1143
//
// Band times and the total (first to last band) are in seconds with 3
// decimals, empty where not measured. A deleted run keeps its row with
// Deleted 1; the flag is the last byte of the row so that it can be set in
// place. Formatting, parsing and reading here; writing in AccelRunsJournal.
// Plain C++, any thread.

#include <array>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ecu/csvlog_reader.h"

constexpr int kRunBands = 11;  // 2000 - 2500 .. 7000 - 7500

struct AccelRunSample {
  float time = 0;  // seconds since the run started
  std::uint16_t rpm = 0;
};

// One run as the file keeps it.
struct AccelRunRecord {
  int number = 0;    // Run: 1, 2, ... within its file
  std::string time;  // local start time, "YYYY-MM-DD hh:mm:ss"
  double corrUOZ = 0;
  int rpmLimit = 0;
  int avgAngle = 0;
  int filterLen = 0;
  std::array<std::optional<double>, kRunBands> bands{};  // seconds; index 0 is 2000 - 2500
  bool deleted = false;
};

// Sum of the band times (the time from the first to the last band), rounded
// to the 3 decimals the file keeps; none without any band.
std::optional<double> RunTotal(const AccelRunRecord& run);

std::string RunsFileHeader();
// One row without its line end.
std::string FormatRunRow(const AccelRunRecord& run);
// "2026-12-09_10-18-48_runs.csv" for a file started at t; copy 2 and on
// name another file of that second: "..._runs-2.csv".
std::string RunsFileName(std::time_t t, int copy = 1);
// The samples file beside a runs file: "x.csv" -> "x_samples.csv".
std::string SamplesPathFor(const std::string& runsPath);
std::string SamplesFileHeader();
// The sample rows of one run, each with its CR LF.
std::string FormatSampleRows(int number, const std::vector<AccelRunSample>& samples);

struct RunsFileContent {
  std::vector<AccelRunRecord> runs;            // in file order, deleted ones too
  std::map<int, std::uint64_t> deletedFlagAt;  // run number -> offset of its Deleted byte
  std::uint64_t size = 0;                      // bytes up to the end of the last complete line
  std::size_t dataLines = 0;                   // lines after the header, blank ones not counted
  std::vector<LogSkip> skips;                  // a last line cut off by a crash, as a log's
};
// Parses a whole runs file. Empty result when it is one; otherwise why not,
// naming the line (Russian, for the user). A last line without its line end
// (a crash while writing it) is skipped, not refused: the rows before it are
// what the file is kept for.
std::string ParseRunsFile(std::string_view text, RunsFileContent& out);

struct SamplesContent {
  bool valid = false;  // the samples header was found
  std::map<int, std::vector<AccelRunSample>> runs;
  std::uint64_t size = 0;    // bytes up to the end of the last complete line
  std::size_t badLines = 0;  // lines skipped as unreadable
  std::size_t firstBadLine = 0;
};
// Parses a samples file; unreadable lines are skipped and counted, a last
// line without its line end is left out of size.
SamplesContent ParseSamplesFile(std::string_view text);

struct OpenedRuns {
  std::string error;  // not empty: refused, the text says why
  std::string path;
  RunsFileContent runs;
  bool samplesFound = false;
  SamplesContent samples;
  std::string note;  // what the user should know about the samples, if anything
};
// Reads a runs file and the samples file beside it (UTF-8 path).
OpenedRuns ReadRunsFiles(const std::string& path);
