#pragma once
// The words of the simulator's control channel, shared by the channel and by
// its clients on any system. The parsers raise std::invalid_argument.

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

inline bool ParseOnOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw std::invalid_argument("'" + word + "' is neither on nor off");
}

inline double ParseNumber(const std::string& word, double low, double high) {
  char* end = nullptr;
  const double v = std::strtod(word.c_str(), &end);
  if (word.empty() || *end != 0 || !(v >= low && v <= high))
    throw std::invalid_argument("'" + word + "' is not a number in " + std::to_string(low) + ".." +
                                std::to_string(high));
  return v;
}

inline int ParseWhole(const std::string& word, int low, int high) {
  const double v = ParseNumber(word, low, high);
  if (v != static_cast<int>(v)) throw std::invalid_argument("'" + word + "' is not a whole number");
  return static_cast<int>(v);
}

inline std::vector<std::uint8_t> ParseHex(const std::string& word) {
  auto digit = [&word](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument("'" + word + "' is not hex");
  };
  if (word.size() % 2 != 0) throw std::invalid_argument("odd number of hex digits in '" + word + "'");
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < word.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(digit(word[i]) * 16 + digit(word[i + 1])));
  return bytes;
}

inline std::string ToHex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

}  // namespace sim
