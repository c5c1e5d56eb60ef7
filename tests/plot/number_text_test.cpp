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
  EXPECT_EQ(parseReal("12.5"), 12.5);
  EXPECT_EQ(parseReal("\r\n12"), 12);
  EXPECT_EQ(parseReal("12\n345"), 12);
  EXPECT_EQ(parseReal("+5"), 5);
  EXPECT_EQ(parseReal("--5"), 0);
  EXPECT_EQ(parseReal("+-5"), 0);
  EXPECT_EQ(parseReal("-.5"), -0.5);
  EXPECT_EQ(parseReal(""), 0);
  EXPECT_EQ(parseReal("1.2.3"), 1.2);
  EXPECT_EQ(parseReal("\x90\xff"), 0);
  EXPECT_TRUE(std::isinf(parseReal("1e999")));
  EXPECT_TRUE(std::isinf(parseReal(std::string(400, '9'))));
  EXPECT_EQ(parseInt("12abc"), 12);
  EXPECT_EQ(parseInt("--5"), 0);
  EXPECT_EQ(parseInt(" -7"), -7);
  EXPECT_EQ(parseInt("99999999999999999999"), std::numeric_limits<int>::max());
  EXPECT_EQ(parseInt("-99999999999999999999"), std::numeric_limits<int>::min());
}

}  // namespace
}  // namespace qel::plot
