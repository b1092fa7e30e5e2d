#include "common/format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "common/timing.h"

namespace {

bool IsPlace(char c) { return c == '0' || c == '#'; }

// The picture split into literal text around one number field.
struct Picture {
  std::string prefix, suffix;
  int minInt = 0;   // integer digits always written ('0' places from the first '0' on)
  int minFrac = 0;  // decimals always written (up to the last '0' after the point)
  int maxFrac = 0;  // decimals written at most
};

Picture ParsePicture(const std::string& pic) {
  Picture p;
  size_t first = pic.find_first_of("0#");
  if (first == std::string::npos) {
    p.prefix = pic;
    return p;
  }
  // A point right before the first place belongs to the field (".##").
  if (first > 0 && pic[first - 1] == '.') --first;
  size_t end = first;
  bool hasPoint = false;
  while (end < pic.size() && (IsPlace(pic[end]) || (pic[end] == '.' && !hasPoint))) {
    if (pic[end] == '.') hasPoint = true;
    ++end;
  }
  p.prefix = pic.substr(0, first);
  p.suffix = pic.substr(end);
  const std::string field = pic.substr(first, end - first);
  const size_t point = field.find('.');
  const std::string intPart = field.substr(0, point);
  const std::string fracPart = point == std::string::npos ? "" : field.substr(point + 1);
  const size_t firstZero = intPart.find('0');
  if (firstZero != std::string::npos) p.minInt = static_cast<int>(intPart.size() - firstZero);
  p.maxFrac = static_cast<int>(fracPart.size());
  const size_t lastZero = fracPart.rfind('0');
  if (lastZero != std::string::npos) p.minFrac = static_cast<int>(lastZero + 1);
  return p;
}

// Pictures are few and fixed; each is parsed once per thread.
const Picture& CachedPicture(const std::string& pic) {
  thread_local std::unordered_map<std::string, Picture> cache;
  auto it = cache.find(pic);
  if (it == cache.end()) it = cache.emplace(pic, ParsePicture(pic)).first;
  return it->second;
}

constexpr int kSignificant = 15;

// Writes into out the digits of |value| × 10^decimals rounded half away from
// zero, taken from its 15 significant digits (so 2.675 rounds to 2.68 as
// written, not as stored in binary); returns the digit count (at least 1).
int RoundedDigits(double value, int decimals, char* out, int outSize) {
  char buf[64];
  const auto res =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, kSignificant - 1);
  // buf: d.dddddddddddddde[+-]xx
  char mant[kSignificant];
  int m = 0;
  const char* s = buf;
  for (; s < res.ptr && *s != 'e'; ++s)
    if (*s != '.') mant[m++] = *s;
  int exp10 = 0;
  std::from_chars(s + 1 + (s[1] == '+'), res.ptr, exp10);
  // value = 0.mant × 10^(exp10 + 1); keep (exp10 + 1 + decimals) leading digits.
  const int keep = exp10 + 1 + decimals;
  if (keep < 0 || keep >= outSize) {
    out[0] = '0';
    return 1;
  }
  int n = 0;
  for (; n < keep; ++n) out[n] = n < m ? mant[n] : '0';
  if (keep < m && mant[keep] >= '5') {
    int i = n - 1;
    while (i >= 0 && out[i] == '9') out[i--] = '0';
    if (i >= 0) {
      ++out[i];
    } else {
      for (int j = n; j > 0; --j) out[j] = out[j - 1];
      out[0] = '1';
      ++n;
    }
  }
  if (n == 0) out[n++] = '0';
  return n;
}

}  // namespace

std::string FormatFloat(const std::string& picture, double value) {
  const Picture& p = CachedPicture(picture);
  if (std::isnan(value)) return p.prefix + "NAN" + p.suffix;
  if (std::isinf(value)) return p.prefix + (value < 0 ? "-INF" : "INF") + p.suffix;

  // Values beyond 10^300 would need more room; such numbers are not shown by
  // the program and come out as 0 rather than overflow the buffer.
  char digits[340];
  int n = RoundedDigits(value, p.maxFrac, digits, static_cast<int>(sizeof digits) - 2);

  // Split the scaled integer into integer and fraction digits.
  const int intLen = n > p.maxFrac ? n - p.maxFrac : 0;
  const char* frac = digits + intLen;
  int fracLen = n - intLen;  // may be shorter than maxFrac: leading zeros missing
  const int fracPad = p.maxFrac - fracLen;
  int intStart = 0;
  while (intStart < intLen && digits[intStart] == '0') ++intStart;
  bool isZero = intStart == intLen;
  for (int i = 0; i < fracLen && isZero; ++i) isZero = frac[i] == '0';
  // Decimals written: drop trailing zeros beyond the required ones.
  int fracOut = p.maxFrac;
  while (fracOut > p.minFrac) {
    const int i = fracOut - 1 - fracPad;  // index in frac, < 0 for padded zeros
    if (i >= 0 && frac[i] != '0') break;
    --fracOut;
  }

  std::string out;
  out.reserve(p.prefix.size() + p.suffix.size() + 24);
  out += p.prefix;
  // A value that rounds to zero carries no sign ("-0" would be noise).
  if (value < 0 && !isZero) out += '-';
  const int sigInt = intLen - intStart;
  if (sigInt < p.minInt) out.append(p.minInt - sigInt, '0');
  out.append(digits + intStart, sigInt);
  if (fracOut > 0) {
    out += '.';
    for (int k = 0; k < fracOut; ++k) out += k < fracPad ? '0' : frac[k - fracPad];
  }
  // "#.#" of 0 would be empty; write the 0 so a number is always there.
  if (sigInt < 1 && p.minInt < 1 && fracOut == 0) out += '0';
  out += p.suffix;
  return out;
}

std::string FormatTime(const char* format, const std::tm& time) {
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, format, &time);
  return std::string(text, n);
}

std::string FormatLocalTime(const char* format, std::time_t t) {
  return FormatTime(format, LocalCalendarTime(t));
}

std::vector<std::string_view> SplitCommas(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(
        line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}
