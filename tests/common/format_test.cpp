#include "common/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <regex>

namespace {

struct FormatCase {
  const char* picture;
  double value;
  const char* expected;
};

class PictureFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PictureFormat, WritesValueAsPictureSays) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatFloat(c.picture, c.value), c.expected) << c.picture << " of " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureFormat,
    ::testing::Values(
        // Optional decimals are dropped with the point when nothing is left.
        FormatCase{"0.##", 1.0, "1"}, FormatCase{"0.##", 0.5, "0.5"}, FormatCase{"0.##", 0.125, "0.13"},
        FormatCase{"0.##", 0.004, "0"},
        // Required decimals and integer digits.
        FormatCase{"#0.0", 14.7, "14.7"}, FormatCase{"#0.0", -1.0, "-1.0"}, FormatCase{"#0.0", 0.0, "0.0"},
        FormatCase{"#0.0", 7.35, "7.4"}, FormatCase{"#0.0", 123.45, "123.5"},
        // Rounding half away from zero, on the value as written in decimal.
        FormatCase{"###0", 123.6, "124"}, FormatCase{"###0", 123.5, "124"},
        FormatCase{"###0", -123.5, "-124"}, FormatCase{"###0", 123.4, "123"},
        FormatCase{"0.##", 2.675, "2.68"}, FormatCase{"#0.#", 9.96, "10"}, FormatCase{"#0.#", -9.96, "-10"},
        FormatCase{"##0.#", 0.05, "0.1"}, FormatCase{"#0.###", 0.01953125, "0.02"},
        FormatCase{"#0.###", 2.5, "2.5"}, FormatCase{"#0.###", 0.0009, "0.001"},
        FormatCase{"#0.###", 0.0004, "0"},
        // Sign: negative values carry '-', values that round to zero do not.
        FormatCase{"#0.#", -5.0, "-5"}, FormatCase{"#0.#", 5.5, "5.5"}, FormatCase{"#0.#", -0.04, "0"},
        FormatCase{"#0.#", -0.05, "-0.1"}, FormatCase{"###0", -0.4, "0"},
        // More integer digits than places are all written.
        FormatCase{"##0.###", 12345.6789, "12345.679"}, FormatCase{"##0", 100.0, "100"},
        FormatCase{"#####0.####", -3.14159265, "-3.1416"}, FormatCase{"##0.##", 1e9, "1000000000"},
        // Literal text before and after the field is kept.
        FormatCase{"##0.# п/сек", 7.5, "7.5 п/сек"}, FormatCase{"##0.# п/сек", 5.0, "5 п/сек"},
        FormatCase{" LC1 AFR: #0.0", 14.7, " LC1 AFR: 14.7"},
        FormatCase{" LC1 AFR: #0.0", 9.04, " LC1 AFR: 9.0"}));

TEST(PictureFormatSpecial, NonNumbersAreNamed) {
  EXPECT_EQ(FormatFloat("#0.0", std::nan("")), "NAN");
  EXPECT_EQ(FormatFloat("#0.0", -std::numeric_limits<double>::infinity()), "-INF");
}

TEST(PictureFormatSpecial, RandomValuesComeBackWithinHalfALastDigit) {
  struct Pic {
    const char* picture;
    int decimals;
    const char* shape;
  };
  const Pic pics[] = {{"0.##", 2, R"(-?\d+(\.\d?[1-9])?)"},
                      {"#0.0", 1, R"(-?\d+\.\d)"},
                      {"#0.###", 3, R"(-?\d+(\.\d{0,2}[1-9])?)"},
                      {"###0", 0, R"(-?\d+)"},
                      {"#####0.####", 4, R"(-?\d+(\.\d{0,3}[1-9])?)"}};
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-6, 9);
  for (const Pic& p : pics) {
    const std::regex shape(p.shape);
    for (int i = 0; i < 2000; ++i) {
      const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
      const std::string s = FormatFloat(p.picture, v);
      ASSERT_TRUE(std::regex_match(s, shape)) << p.picture << " of " << v << " gave " << s;
      ASSERT_FALSE(s[0] == '-' && std::stod(s) == 0) << "signed zero: " << s;
      ASSERT_NEAR(std::stod(s), v, 0.5 * std::pow(10.0, -p.decimals) * (1 + 1e-9) + std::fabs(v) * 1e-14)
          << p.picture << " of " << v << " gave " << s;
    }
  }
}

}  // namespace
