#pragma once

#include <cstddef>
#include <cstdint>

namespace unlha {

enum class Method { lh0, lh5, lh6, lh7 };

// How hard the encoder looks for the shortest stream: normal takes a lazy
// parse over hash chains, many times quicker than max; max a match tree and
// a price-driven parse, a few per cent smaller.
enum class Level { normal, max };

// Constants of the static-Huffman LZSS family; the three methods differ only
// in the dictionary size and hence in the number of position codes.
inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 256;
inline constexpr int kNumC = 256 + kMaxMatch - kMinMatch + 1;  // literals + lengths: 510
inline constexpr int kNumT = 19;                               // code-length codes
inline constexpr int kCBits = 9;
inline constexpr int kTBits = 5;
inline constexpr int kMaxCodeBits = 16;
inline constexpr int kMaxBlockSymbols = 0xFFFF;  // the block header counts in 16 bits

struct MethodParams {
    const char* id;  // five-byte method id in the header
    int dictBits;    // log2 of the dictionary
    int numP;        // position codes: dictBits + 1
    int pBits;       // bits of the position-table count
};

constexpr MethodParams params(Method m) {
    switch (m) {
        case Method::lh0:
            return {"-lh0-", 0, 0, 0};
        case Method::lh5:
            return {"-lh5-", 13, 14, 4};
        case Method::lh6:
            return {"-lh6-", 15, 16, 5};
        case Method::lh7:
            return {"-lh7-", 16, 17, 5};
    }
    return {"-lh0-", 0, 0, 0};
}

}  // namespace unlha
