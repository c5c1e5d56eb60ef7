#pragma once
// One fuzzing input: the bytes as a plot file, disposed of under several page modes.
#include <cstddef>
#include <cstdint>

namespace qel::plot::fuzz {
void disposeBytes(const std::uint8_t* data, std::size_t size);
}
