#pragma once
// CSV log rows as the program writes them: from decoded random frames, so
// every column takes many values (ERR the whole 32-bit range, TCHARGE four
// decimals), or from the simulator's engine, which looks like a drive.

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ecu/csvlog.h"
#include "ecu/dataframe.h"
#include "ecu/ecu_data.h"
#include "sim/engine.h"

// Rows 40 ms apart, give or take a few milliseconds.
inline std::vector<std::string> RandomLogRows(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> rows;
  for (int i = 0; i < count; ++i) {
    std::array<std::uint8_t, 97> frame{};
    frame[0] = 0x61;
    frame[1] = 0x0D;
    for (std::size_t b = 2; b < frame.size(); ++b) frame[b] = static_cast<std::uint8_t>(rng());
    EcuDataRecord d;
    DecodeDataFrame(frame.data(), d);
    d.AFR_LC1 = i % 3 ? -1.0 : 14.7 * (rng() % 100) / 50;
    rows.push_back(FormatLogRow(d, 40LL * i + i % 7));
  }
  return rows;
}

// A session of the simulated engine idling with blips and run-ups, one row
// every 40 ms (25 rows a second).
inline std::vector<std::string> SimulatedLogRows(int count, std::uint32_t seed) {
  EngineModel engine(seed);
  engine.SetRandomEvents(0.05, 0.02);
  std::vector<std::string> rows;
  rows.reserve(static_cast<std::size_t>(count));
  std::array<std::uint8_t, 97> frame{0x61, 0x0D};
  for (int i = 0; i < count; ++i) {
    engine.Advance(0.04);
    const auto record = engine.DataRecord();
    std::copy(record.begin(), record.end(), frame.begin() + 2);
    EcuDataRecord d;
    DecodeDataFrame(frame.data(), d);
    d.AFR_LC1 = engine.Mixture();
    d.ALF_LC1 = d.AFR_LC1 / 14.7;
    rows.push_back(FormatLogRow(d, 40LL * i));
  }
  return rows;
}

// Lines joined with the log's CR LF ends.
inline std::string LogText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

inline std::vector<std::string> LogFields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  for (std::string f; std::getline(ss, f, ',');) out.push_back(f);
  return out;
}
