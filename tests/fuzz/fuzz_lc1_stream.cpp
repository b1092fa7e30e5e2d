// The LC-1 byte stream through the reader's framer, read byte by byte and in
// reads of the sizes the input's first byte picks, against a scan of its own:
// header pairs found as the masks say, each 4-byte body decoded into the
// reading, and the reading as the status bar shows it. The reader thread
// itself is not driven here.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/format.h"
#include "lambda/lc1_framer.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void CheckReading(const std::uint8_t* body) {
  const double v = DecodeLambdaPacket(body);
  FUZZ_CHECK(std::isfinite(v));
  // The largest reading: function 1 with L = 16383.
  FUZZ_CHECK(v >= -1.0 && v <= 1638.3);
  const std::string text = FormatFloat(" LC1 AFR: #0.0", v);
  const std::string prefix = " LC1 AFR: ";
  FUZZ_CHECK(text.compare(0, prefix.size(), prefix) == 0);
  const std::string number = text.substr(prefix.size());
  FUZZ_CHECK(number.size() >= 3 && number[number.size() - 2] == '.');
  FUZZ_CHECK(number.find_first_not_of("-0123456789.") == std::string::npos);
  FUZZ_CHECK(std::fabs(std::stod(number) - v) <= 0.05 + 1e-9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The oracle: every packet of the stream, as a scan from the front finds them.
  std::vector<double> expected;
  std::size_t i = 0;
  while (i + 1 < size) {
    if (!IsLambdaHeader(data[i], data[i + 1])) {
      FUZZ_CHECK((data[i] & 0xB2) != 0xB2 || (data[i + 1] & 0x82) != 0x82);
      ++i;
      continue;
    }
    if (i + 6 > size) break;
    CheckReading(data + i + 2);
    expected.push_back(DecodeLambdaPacket(data + i + 2));
    i += 6;
  }

  // Byte by byte nothing follows a packet in its read: the framer finds them all.
  Lc1Framer framer;
  std::vector<double> found;
  for (std::size_t k = 0; k < size; ++k) {
    if (const std::optional<double> reading = framer.Feed(data + k, 1)) found.push_back(*reading);
  }
  FUZZ_CHECK(found == expected);

  // In larger reads a packet drops the rest of its read; whatever it finds is
  // a packet of the stream, and the first one is the scan's first.
  if (size == 0) return 0;
  const int chunk = 1 + data[0] % 64;
  Lc1Framer chunked;
  bool first = true;
  for (std::size_t k = 0; k < size; k += chunk) {
    const int n = static_cast<int>(std::min<std::size_t>(chunk, size - k));
    FUZZ_CHECK(n <= chunked.Room());
    if (const std::optional<double> reading = chunked.Feed(data + k, n)) {
      FUZZ_CHECK(!expected.empty());
      if (first) FUZZ_CHECK(*reading == expected.front());
      first = false;
    }
  }
  return 0;
}
