#pragma once
// Table-driven CRC engine selected by model name. "CRC-16" (polynomial 0x8005, initial 0,
// unreflected) is the one the coordinator uses for downloads and program loading.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qel::controller {

struct CrcModel {
  const char* name;
  int width;  // 16 or 32
  std::uint32_t polynomial;
  std::uint32_t initial;
  bool reflectIn;
  bool reflectOut;
};

// The five models known by name, in table order.
const CrcModel* crcModels(std::size_t* count);

class CCrc {
 public:
  CCrc();  // first model of the table ("X25") until another is chosen
  // Selects a model by name; false (and no change) for an unknown name.
  bool selectModel(std::string_view name);
  const CrcModel& model() const { return *model_; }
  void reset();
  void update(std::uint8_t byte);
  void update(const void* data, std::size_t len);
  // The value after feeding width/8 zero bytes through a copy of the register.
  std::uint32_t value() const;
  std::uint32_t table(int i) const { return table_[i]; }

 private:
  void buildTable();
  const CrcModel* model_;
  std::uint32_t table_[256];
  std::uint32_t reg_ = 0;
};

// CRC-16 (poly 0x8005, init 0, no reflection) computed directly, slicing eight bytes at a time;
// gives the same value as CCrc with the model "CRC-16". Chain calls by passing the previous value.
std::uint16_t crc16Fast(const void* data, std::size_t len, std::uint16_t crc = 0);

// The three printable characters of a 16-bit CRC used in program loading.
std::string crcText(std::uint16_t crc);

}  // namespace qel::controller
