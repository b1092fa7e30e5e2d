#include "common/format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool IsPlace(char c) { return c == '0' || c == '#'; }

// The picture split into literal text around one number field.
struct Picture {
  std::string prefix, suffix;
  int minInt = 0;   // integer digits always written ('0' places from the first '0' on)
  int minFrac = 0;  // decimals always written (up to the last '0' after the point)
  int maxFrac = 0;  // decimals written at most
  bool hasPoint = false;
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
  while (end < pic.size() && (IsPlace(pic[end]) || (pic[end] == '.' && !p.hasPoint))) {
    if (pic[end] == '.') p.hasPoint = true;
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

// Decimal digits of |value| rounded half away from zero to `decimals` places,
// taken from its 15 significant digits (so 2.675 rounds to 2.68 as written,
// not as stored in binary). Returns the digits of the scaled integer.
std::string RoundedDigits(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  // buf: d.dddddddddddddde[+-]xx
  std::string mant;
  const char* s = buf;
  for (; *s && *s != 'e'; ++s)
    if (*s >= '0' && *s <= '9') mant += *s;
  const int exp10 = std::atoi(s + 1);
  // value = 0.mant × 10^(exp10 + 1); keep (exp10 + 1 + decimals) leading digits.
  const int keep = exp10 + 1 + decimals;
  if (keep < 0) return "0";
  std::string digits = mant.substr(0, std::min<size_t>(keep, mant.size()));
  while (static_cast<int>(digits.size()) < keep) digits += '0';
  const bool roundUp = keep < static_cast<int>(mant.size()) && mant[keep] >= '5';
  if (roundUp) {
    int i = static_cast<int>(digits.size()) - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0)
      ++digits[i];
    else
      digits.insert(digits.begin(), '1');
  }
  if (digits.empty()) digits.push_back('0');
  return digits;
}

}  // namespace

std::string FormatFloat(const std::string& picture, double value) {
  const Picture p = ParsePicture(picture);
  if (std::isnan(value)) return p.prefix + "NAN" + p.suffix;
  if (std::isinf(value)) return p.prefix + (value < 0 ? "-INF" : "INF") + p.suffix;

  std::string digits = RoundedDigits(value, p.maxFrac);
  // Split the scaled integer into integer and fraction digits.
  while (static_cast<int>(digits.size()) <= p.maxFrac) digits.insert(digits.begin(), '0');
  std::string intDigits = digits.substr(0, digits.size() - p.maxFrac);
  std::string fracDigits = digits.substr(digits.size() - p.maxFrac);
  const bool isZero = digits.find_first_not_of('0') == std::string::npos;

  size_t lead = intDigits.find_first_not_of('0');
  intDigits = lead == std::string::npos ? "" : intDigits.substr(lead);
  while (static_cast<int>(intDigits.size()) < p.minInt) intDigits.insert(intDigits.begin(), '0');
  while (static_cast<int>(fracDigits.size()) > p.minFrac && !fracDigits.empty() && fracDigits.back() == '0')
    fracDigits.pop_back();

  std::string out = p.prefix;
  // A value that rounds to zero carries no sign ("-0" would be noise).
  if (value < 0 && !isZero) out += '-';
  out += intDigits;
  if (!fracDigits.empty()) out += '.' + fracDigits;
  // "#.#" of 0 would be empty; write the 0 so a number is always there.
  if (intDigits.empty() && fracDigits.empty()) out += '0';
  out += p.suffix;
  return out;
}
