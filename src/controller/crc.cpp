#include "controller/crc.h"

#include <cstring>

namespace qel::controller {
namespace {

const CrcModel kModels[] = {
    {"X25", 16, 0x1021, 0xFFFF, false, false},
    {"CRC-16", 16, 0x8005, 0, false, false},
    {"ARC", 16, 0x8005, 0, true, true},
    {"XMODEM", 16, 0x8408, 0, true, true},
    {"CRC-32", 32, 0x04C11DB7, 0xFFFFFFFF, true, true},
};

std::uint32_t reflect(std::uint32_t v, int bits) {
  std::uint32_t r = 0;
  for (int i = 0; i < bits; ++i)
    if (v & (1u << i)) r |= 1u << (bits - 1 - i);
  return r;
}

std::uint32_t widthMask(int width) { return width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1); }

// Direct (non-augmented) CRC-16/0x8005 tables for the slicing engine.
struct Slice16 {
  std::uint16_t t[8][256];
  Slice16() {
    for (int i = 0; i < 256; ++i) {
      std::uint16_t c = static_cast<std::uint16_t>(i << 8);
      for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? static_cast<std::uint16_t>((c << 1) ^ 0x8005) : static_cast<std::uint16_t>(c << 1);
      t[0][i] = c;
    }
    for (int i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s)
        t[s][i] = static_cast<std::uint16_t>((t[s - 1][i] << 8) ^ t[0][t[s - 1][i] >> 8]);
  }
};
const Slice16& slice16() {
  static const Slice16 s;
  return s;
}

}  // namespace

const CrcModel* crcModels(std::size_t* count) {
  if (count) *count = sizeof(kModels) / sizeof(kModels[0]);
  return kModels;
}

CCrc::CCrc() : model_(&kModels[0]) {
  buildTable();
  reset();
}

bool CCrc::selectModel(std::string_view name) {
  for (const auto& m : kModels) {
    if (name == m.name) {
      model_ = &m;
      buildTable();
      reset();
      return true;
    }
  }
  return false;
}

void CCrc::buildTable() {
  const int w = model_->width;
  const std::uint32_t top = 1u << (w - 1);
  const std::uint32_t mask = widthMask(w);
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = model_->reflectIn ? reflect(i, 8) : i;
    r <<= (w - 8);
    for (int k = 0; k < 8; ++k) r = (r & top) ? (r << 1) ^ model_->polynomial : (r << 1);
    if (model_->reflectIn) r = reflect(r & mask, w);
    table_[i] = r & mask;
  }
}

void CCrc::reset() { reg_ = model_->initial & widthMask(model_->width); }

void CCrc::update(std::uint8_t byte) {
  const int w = model_->width;
  const std::uint32_t mask = widthMask(w);
  if (!model_->reflectIn) {
    const std::uint32_t idx = (reg_ >> (w - 8)) & 0xFF;
    reg_ = (((reg_ << 8) | byte) ^ table_[idx]) & mask;
  } else {
    const std::uint32_t idx = reg_ & 0xFF;
    reg_ = ((static_cast<std::uint32_t>(byte) << (w - 8)) ^ (reg_ >> 8) ^ table_[idx]) & mask;
  }
}

void CCrc::update(const void* data, std::size_t len) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < len; ++i) update(p[i]);
}

std::uint32_t CCrc::value() const {
  CCrc copy = *this;
  for (int i = 0; i < model_->width / 8; ++i) copy.update(0);
  std::uint32_t v = copy.reg_ & widthMask(model_->width);
  if (model_->reflectOut) v = reflect(v, model_->width);
  return v;
}

std::uint16_t crc16Fast(const void* data, std::size_t len, std::uint16_t crc) {
  const auto& s = slice16();
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (len >= 8) {
    const std::uint16_t a = static_cast<std::uint16_t>(crc ^ ((p[0] << 8) | p[1]));
    crc = static_cast<std::uint16_t>(s.t[7][a >> 8] ^ s.t[6][a & 0xFF] ^ s.t[5][p[2]] ^ s.t[4][p[3]] ^
                                     s.t[3][p[4]] ^ s.t[2][p[5]] ^ s.t[1][p[6]] ^ s.t[0][p[7]]);
    p += 8;
    len -= 8;
  }
  while (len--) crc = static_cast<std::uint16_t>((crc << 8) ^ s.t[0][((crc >> 8) ^ *p++) & 0xFF]);
  return crc;
}

std::string crcText(std::uint16_t crc) {
  std::string s(3, ' ');
  s[0] = static_cast<char>(0x20 + ((crc >> 12) & 0x0F));
  s[1] = static_cast<char>(0x20 + ((crc >> 6) & 0x3F));
  s[2] = static_cast<char>(0x20 + (crc & 0x3F));
  return s;
}

}  // namespace qel::controller
