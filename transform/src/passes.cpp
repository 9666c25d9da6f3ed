#include "passes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace dozo::transform {
namespace {

// Word-wide loads and stores through memcpy: no alignment or aliasing
// assumptions, and the compiler turns them into plain (vector) moves.
std::uint64_t load(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store(unsigned char* p, std::uint64_t v) {
    std::memcpy(p, &v, sizeof v);
}

}  // namespace

void xorBytes(unsigned char* __restrict block, std::size_t n, unsigned char mask) {
    for (std::size_t i = 0; i < n; ++i) block[i] ^= mask;
}

void swapPairs(unsigned char* block, std::size_t n) {
    constexpr std::uint64_t even = 0x00FF00FF00FF00FFull;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t v = load(block + i);
        store(block + i, ((v & even) << 8) | ((v >> 8) & even));
    }
    for (; i + 2 <= n; i += 2) std::swap(block[i], block[i + 1]);
}

void reverseBytes(unsigned char* block, std::size_t n) {
    std::size_t front = 0, back = n;
    for (; back - front >= 16; front += 8, back -= 8) {
        const std::uint64_t head = load(block + front);
        const std::uint64_t tail = load(block + back - 8);
        store(block + front, __builtin_bswap64(tail));
        store(block + back - 8, __builtin_bswap64(head));
    }
    std::reverse(block + front, block + back);
}

}  // namespace dozo::transform
