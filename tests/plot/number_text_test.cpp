#include "plot/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>

namespace qel::plot {
namespace {

TEST(NumberFormat, MatchesTheDefaultStreamFormat) {
  const auto streamed = [](double v) {
    std::ostringstream os;
    os << v;
    return os.str();
  };
  // Rounding ties, exponents, a tie in decimal that is none in binary (99999.95).
  for (double v : {123456.7, 1e6, 12345.67, 1500.0, -0.25, 0.0, 1e-5, 999999.5, 99999.95, 2.5e-7, -1234.5, 1.0000001})
    EXPECT_EQ(formatNumber(v), streamed(v)) << v;
  // Against the stream itself, over many values of every magnitude.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mant(-10, 10);
  std::uniform_int_distribution<int> exp(-8, 9);
  for (int i = 0; i < 20000; ++i) {
    double v = mant(rng) * std::pow(10.0, exp(rng));
    if (i % 3 == 0) v = std::round(v);
    if (i % 3 == 1) v = std::round(v * 10) / 10;  // one decimal, as design programs write
    ASSERT_EQ(formatNumber(v), streamed(v)) << v;
  }
}

TEST(NumberParse, ReadsLikeAtofAndAtoi) {
  const std::pair<std::string, double> reals[] = {
      {"12.5", 12.5}, {"\r\n12", 12}, {"12\n345", 12}, {"+5", 5},         {"--5", 0},          {"+-5", 0},
      {"-.5", -0.5},  {"", 0},          {"1.2.3", 1.2},   {"\x90\xff", 0}, {"1e999", INFINITY},
      {std::string(400, '9'), INFINITY}};
  for (const auto& [text, value] : reals) EXPECT_EQ(parseReal(text), value) << text;
  const std::pair<const char*, int> ints[] = {{"12abc", 12}, {"--5", 0}, {" -7", -7},
      {"99999999999999999999", std::numeric_limits<int>::max()}, {"-99999999999999999999", std::numeric_limits<int>::min()}};
  for (const auto& [text, value] : ints) EXPECT_EQ(parseInt(text), value) << text;
}

}  // namespace
}  // namespace qel::plot
