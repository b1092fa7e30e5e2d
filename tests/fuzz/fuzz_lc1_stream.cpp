// The LC-1 byte stream: header pairs found as the reader finds them, each
// 4-byte body decoded into the reading, and the reading as the status bar
// shows it. The reader thread itself is not driven here.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

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
  std::size_t i = 0;
  while (i + 1 < size) {
    if (!IsLambdaHeader(data[i], data[i + 1])) {
      FUZZ_CHECK((data[i] & 0xB2) != 0xB2 || (data[i + 1] & 0x82) != 0x82);
      ++i;
      continue;
    }
    if (i + 6 > size) break;
    CheckReading(data + i + 2);
    i += 6;
  }
  return 0;
}
