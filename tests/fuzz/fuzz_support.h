#pragma once
// Shared by the fuzz targets: a check that stops the run with its reason, and
// the properties several targets ask of text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

// The oracle for the program's UTF-8 decoder (common/cp1251.cpp), written
// from the byte ranges of RFC 3629, section 4, rather than from code point
// arithmetic as the decoder is: a fault in one is unlikely to be in the other.
// At each position a well-formed character is taken whole, any other byte
// alone; `units` counts both, as Utf8ToCp1251 writes one byte for each.
struct Utf8Scan {
  bool wellFormed = true;
  std::size_t units = 0;
};

// Length of the well-formed character at s[i], or 0.
inline std::size_t Rfc3629CharAt(const std::string& s, std::size_t i) {
  // Lead byte range, then the allowed range of each following byte.
  struct Row {
    unsigned char lo, hi, n, next[3][2];
  };
  static constexpr Row kRows[] = {
      {0x00, 0x7F, 1, {}},
      {0xC2, 0xDF, 2, {{0x80, 0xBF}}},
      {0xE0, 0xE0, 3, {{0xA0, 0xBF}, {0x80, 0xBF}}},
      {0xE1, 0xEC, 3, {{0x80, 0xBF}, {0x80, 0xBF}}},
      {0xED, 0xED, 3, {{0x80, 0x9F}, {0x80, 0xBF}}},
      {0xEE, 0xEF, 3, {{0x80, 0xBF}, {0x80, 0xBF}}},
      {0xF0, 0xF0, 4, {{0x90, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}},
      {0xF1, 0xF3, 4, {{0x80, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}},
      {0xF4, 0xF4, 4, {{0x80, 0x8F}, {0x80, 0xBF}, {0x80, 0xBF}}},
  };
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  for (const Row& r : kRows) {
    if (at(i) < r.lo || at(i) > r.hi) continue;
    if (s.size() - i < r.n) return 0;
    for (std::size_t k = 1; k < r.n; ++k)
      if (at(i + k) < r.next[k - 1][0] || at(i + k) > r.next[k - 1][1]) return 0;
    return r.n;
  }
  return 0;
}

inline Utf8Scan ScanUtf8(const std::string& s) {
  Utf8Scan scan;
  for (std::size_t i = 0; i < s.size(); ++scan.units) {
    const std::size_t n = Rfc3629CharAt(s, i);
    scan.wellFormed = scan.wellFormed && n > 0;
    i += n > 0 ? n : 1;
  }
  return scan;
}

inline bool WellFormedUtf8(const std::string& s) { return ScanUtf8(s).wellFormed; }

// Number of characters of well-formed UTF-8.
inline std::size_t Utf8Length(const std::string& s) { return ScanUtf8(s).units; }

// A private folder for the targets that go through files, under TMPDIR
// (scripts/fuzz.sh points it into memory and removes it after the run, since
// libFuzzer ends a run without the usual exit steps).
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/varnek-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    return pattern;
  }();
  return dir;
}

inline void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  FUZZ_CHECK(out.good());
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
