// The data reply as the session takes it: the 97 data bytes decoded into the
// engine variables, the LC-1 reading beside them, and the CSV row they make.
// Input: the 97 data bytes (61 0D and the record; zeros pad a short input),
// then a flag byte and 4 bytes of an LC-1 packet body, then 8 bytes of the
// row's time in milliseconds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "ecu/csvlog.h"
#include "ecu/dataframe.h"
#include "ecu/ecu_data.h"
#include "lambda/lc1_framer.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kDataLen = 97;
constexpr int kColumns = 90;

// A log field: an optional minus, digits, and optionally a point and digits.
bool IsNumberField(const std::string& s, std::size_t from, std::size_t to) {
  std::size_t i = from;
  if (i < to && s[i] == '-') ++i;
  const std::size_t intStart = i;
  while (i < to && s[i] >= '0' && s[i] <= '9') ++i;
  if (i == intStart) return false;
  if (i == to) return true;
  if (s[i] != '.') return false;
  const std::size_t fracStart = ++i;
  while (i < to && s[i] >= '0' && s[i] <= '9') ++i;
  return i == to && i > fracStart;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t in[kDataLen + 1 + 4 + 8] = {};
  std::memcpy(in, data, std::min(size, sizeof in));

  EcuDataRecord d{};
  DecodeDataFrame(in, d);
  const std::uint8_t* lc1 = in + kDataLen + 1;
  if (in[kDataLen] & 1) {
    d.AFR_LC1 = DecodeLambdaPacket(lc1);
    d.ALF_LC1 = d.AFR_LC1 / 14.7;
  } else {
    d.AFR_LC1 = -1.0;
  }
  std::uint64_t time = 0;
  std::memcpy(&time, in + kDataLen + 5, 8);
  const std::int64_t timeMs = static_cast<std::int64_t>(time % 1000000000000ull);  // up to 31 years

  const std::string row = FormatLogRow(d, timeMs);
  FUZZ_CHECK(row.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(std::count(row.begin(), row.end(), ',') == kColumns - 1);
  std::size_t start = 0;
  for (int column = 0; column < kColumns; ++column) {
    const std::size_t end = std::min(row.find(',', start), row.size());
    FUZZ_CHECK(IsNumberField(row, start, end));
    start = end + 1;
  }
  // Time: whole seconds, a point, three digits of milliseconds.
  const std::size_t firstComma = row.find(',');
  FUZZ_CHECK(firstComma >= 5 && row[firstComma - 4] == '.');
  FUZZ_CHECK(std::stoll(row.substr(0, firstComma - 4)) * 1000 + std::stoll(row.substr(firstComma - 3, 3)) ==
             timeMs);
  // The row by name gives the same values as the row in file order.
  const std::string header = LogHeader();
  FUZZ_CHECK(FormatLogRow(header.substr(header.find(',') + 1), d) == row.substr(firstComma + 1));
  return 0;
}
