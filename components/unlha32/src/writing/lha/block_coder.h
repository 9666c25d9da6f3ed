#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "writing/lha/bit_writer.h"
#include "writing/lha/method.h"

namespace unlha {

// One parsed symbol: the literal/length code in the low 16 bits, and for a
// match the position (distance - 1) in the high 16 bits.
using Token = std::uint32_t;

inline int positionCode(std::uint32_t pos) {
    return pos == 0 ? 0 : 32 - __builtin_clz(pos);
}

// Code lengths a block was written with (0 for symbols it does not use).
struct BlockLengths {
    std::array<std::uint8_t, kNumC> c{};
    std::array<std::uint8_t, 17> p{};
};

// Writes one static-Huffman block: the symbol count, the three code tables
// and the symbols. cFreq has kNumC entries, pFreq numP (both counted from tokens).
// The last block of a stream is never shorter than 64 bits. The literal codes
// are limited to the longest length that makes the block smallest. Returns
// the bits written.
std::uint64_t writeBlock(BitWriter& out, std::span<const Token> tokens,
                         std::span<const std::uint32_t> cFreq, std::span<const std::uint32_t> pFreq,
                         int pBits, bool last, BlockLengths* lengths = nullptr);

// The bits of a block of these counts (not the last) under plain Huffman
// codes, and their code lengths: what the encoder weighs blocks by, several
// times quicker than writeBlock's choice of limit, and never fewer bits than
// writeBlock writes.
std::uint64_t blockBits(std::span<const std::uint32_t> cFreq, std::span<const std::uint32_t> pFreq,
                        int pBits, BlockLengths* lengths = nullptr);

}  // namespace unlha
