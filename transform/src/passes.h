#pragma once

#include <cstddef>

namespace dozo::transform {

// In-place rewrites of one block. Blocks start at even file offsets, so a
// pair never straddles two blocks and only the last block can be odd.

// Every byte XOR mask.
void xorBytes(unsigned char* block, std::size_t n, unsigned char mask);
// Bytes 1 0 3 2 ...; an odd last byte keeps its place.
void swapPairs(unsigned char* block, std::size_t n);
// Last byte first.
void reverseBytes(unsigned char* block, std::size_t n);

}  // namespace dozo::transform
