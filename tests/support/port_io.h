#pragma once
// Reading and writing through the port layer in tests, and its errors.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/timing.h"
#include "link/port.h"

// Reads until n bytes came or ms passed. One read's time-out is far too
// short a bound on a busy machine, where the simulator may not run for a while.
constexpr int kReadUpToMs = 10000;
inline std::vector<std::uint8_t> ReadUpTo(PortId id, int n, int ms = kReadUpToMs) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n));
  int got = 0;
  const std::int64_t end = PerfCounter() + PerfFrequency() * ms / 1000;
  while (got < n) {
    got += ReadPortBlocking(id, out.data() + got, n - got);
    if (PerfCounter() >= end) break;
  }
  out.resize(static_cast<std::size_t>(got));
  return out;
}

inline void WriteBytes(PortId id, const std::vector<std::uint8_t>& bytes) {
  WritePortBlocking(id, bytes.data(), static_cast<int>(bytes.size()));
}

// The text of the EcuError fn raises, or "(no error)".
inline std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EcuError& e) {
    return e.what();
  }
  return "(no error)";
}
