#pragma once
// Reading and writing through the port layer in tests, and its errors.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/error.h"
#include "link/port.h"

// Reads until n bytes came or a read returned nothing.
inline std::vector<std::uint8_t> ReadUpTo(PortId id, int n) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n));
  int got = 0;
  while (got < n) {
    const int r = ReadPortBlocking(id, out.data() + got, n - got);
    if (r == 0) break;
    got += r;
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
