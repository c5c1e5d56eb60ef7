#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "controller/crc.h"
#include "controller/tms_float.h"

using namespace qel::controller;

TEST(Crc, Crc16CheckValueAndTextForm) {
  CCrc crc;
  EXPECT_STREQ(crc.model().name, "X25");
  ASSERT_TRUE(crc.selectModel("CRC-16"));
  crc.update("123456789", 9);
  EXPECT_EQ(crc.value(), 0xFEE8u);
  EXPECT_EQ(crc.table(1), 0x8005u);
  // value() does not disturb the register: feeding on continues the same CRC
  crc.update("0", 1);
  EXPECT_EQ(crc.value(), crc16Fast("1234567890", 10));
  EXPECT_EQ(crcText(0xFEE8), std::string("\x2F\x5B\x48"));
  EXPECT_FALSE(crc.selectModel("CRC-99"));
  EXPECT_STREQ(crc.model().name, "CRC-16");
}

TEST(Crc, EveryModelResetsAndSeesASingleBitChange) {
  std::size_t n = 0;
  const CrcModel* models = crcModels(&n);
  ASSERT_EQ(n, 5u);
  for (std::size_t i = 0; i < n; ++i) {
    CCrc a, b;
    ASSERT_TRUE(a.selectModel(models[i].name) && b.selectModel(models[i].name));
    a.update("hello world", 11);
    const auto first = a.value();
    a.reset();
    a.update("hello world", 11);
    EXPECT_EQ(a.value(), first) << models[i].name;
    b.update("hello worle", 11);
    EXPECT_NE(a.value(), b.value()) << models[i].name;
  }
}

TEST(Crc, SlicingEngineMatchesTableEngine) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::string data(rng() % 300, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    CCrc crc;
    crc.selectModel("CRC-16");
    crc.update(data.data(), data.size());
    EXPECT_EQ(crc16Fast(data.data(), data.size()), crc.value());
    const std::size_t cut = data.empty() ? 0 : rng() % data.size();
    EXPECT_EQ(crc16Fast(data.data() + cut, data.size() - cut, crc16Fast(data.data(), cut)), crc.value());
  }
}

namespace {
std::uint32_t bitsOf(float f) { return std::bit_cast<std::uint32_t>(f); }
float floatOf(std::uint32_t b) { return std::bit_cast<float>(b); }
double tmsValue(std::uint32_t t) {
  const int e = static_cast<std::int8_t>(t >> 24);
  const double frac = (t & 0x7FFFFF) / 8388608.0;
  return std::ldexp(((t >> 23) & 1) ? -2.0 + frac : 1.0 + frac, e);
}
}  // namespace

// Normal values are the next test's; here zero, denormals, NaN, infinities and the coordinator's zero.
TEST(TmsFloat, Specials) {
  for (float f : {0.0f, -0.0f, floatOf(0x00000001), std::nanf("")}) EXPECT_EQ(floatToTms(f), 0x80000000u) << f;
  EXPECT_EQ(floatToTms(INFINITY), 0x7F7FFFFFu);
  EXPECT_EQ(floatToTms(-INFINITY), 0x7FFFFFFFu);
  EXPECT_EQ(bitsOf(tmsToFloat(0x80000000u)), 0x80000000u);  // -0.0
  EXPECT_EQ(bitsOf(tmsToFloat(0x80123456u)), 0x80000000u);
  EXPECT_EQ(floatToTms(-1.5f), 0x00C00000u);  // (-2 + 0.5) x 2^0
}

TEST(TmsFloat, ExactOverManyBitPatterns) {
  // Every normal float converts exactly and comes back bit for bit.
  for (std::uint64_t b = 0; b < 0x100000000ull; b += 65521) {
    const std::uint32_t bits = static_cast<std::uint32_t>(b);
    const float f = floatOf(bits);
    const int exp = (bits >> 23) & 0xFF;
    if (exp == 0 || exp == 0xFF) continue;
    const std::uint32_t t = floatToTms(f);
    ASSERT_EQ(tmsValue(t), static_cast<double>(f)) << std::hex << bits;
    ASSERT_EQ(bitsOf(tmsToFloat(t)), bits) << std::hex << bits;
  }
  // Powers of two, positive and negative, over the whole normal range.
  for (int e = -126; e <= 127; ++e) {
    for (float sign : {1.0f, -1.0f}) {
      const float f = sign * std::ldexp(1.0f, e);
      const std::uint32_t t = floatToTms(f);
      ASSERT_EQ(tmsValue(t), static_cast<double>(f)) << e;
      ASSERT_EQ(tmsToFloat(t), f) << e;
      if (sign < 0) ASSERT_EQ(static_cast<std::int8_t>(t >> 24), e - 1);
    }
  }
  // Coordinator patterns whose values are normal floats come back unchanged.
  std::mt19937 rng(3);
  for (int i = 0; i < 200000; ++i) {
    std::uint32_t t = rng();
    const int e = static_cast<std::int8_t>(t >> 24);
    if (e < -126 || e > 126) continue;
    ASSERT_EQ(floatToTms(tmsToFloat(t)), t) << std::hex << t;
  }
}
