#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace unlha {

// A Huffman tree over `freq`, built once, from which codes of any longest
// length are taken: a block tries several.
class HuffmanTree {
public:
    static constexpr int kMaxSymbols = 512;

    explicit HuffmanTree(std::span<const std::uint32_t> freq);

    int used() const { return used_; }  // symbols of nonzero frequency
    int longest() const;                // the longest code, unlimited

    // Code lengths none longer than `maxBits` (at least what `used` symbols
    // need): lens[i], 0 for unused symbols. With two or more used symbols the
    // code is complete (Kraft sum exactly 1): LHA decoders reject anything
    // else.
    void lengths(int maxBits, std::span<std::uint8_t> lens) const;

private:
    int n_ = 0, used_ = 0;
    std::array<std::uint16_t, kMaxSymbols> order_;  // used symbols, rarest first
    std::array<std::uint8_t, kMaxSymbols> depth_;   // of each in order_
};

// Code lengths of a Huffman code over `freq`, none longer than `maxBits`.
// Writes lens[i] (0 for unused symbols) and returns how many symbols are used.
int buildLengths(std::span<const std::uint32_t> freq, int maxBits, std::span<std::uint8_t> lens);

// Canonical codes for `lens`: shorter codes first, equal lengths by symbol.
void buildCodes(std::span<const std::uint8_t> lens, std::span<std::uint16_t> codes);

}  // namespace unlha
