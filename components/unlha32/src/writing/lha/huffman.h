#pragma once

#include <cstdint>
#include <span>

namespace unlha {

// Code lengths of a Huffman code over `freq`, none longer than `maxBits`.
// Writes lens[i] (0 for unused symbols) and returns how many symbols are used.
// With two or more used symbols the code is complete (Kraft sum exactly 1):
// LHA decoders reject anything else.
int buildLengths(std::span<const std::uint32_t> freq, int maxBits, std::span<std::uint8_t> lens);

// Canonical codes for `lens`: shorter codes first, equal lengths by symbol.
void buildCodes(std::span<const std::uint8_t> lens, std::span<std::uint16_t> codes);

}  // namespace unlha
