#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "writing/lha/method.h"

namespace unlha {

// The bits of a -lh5-, -lh6- or -lh7- stream, or of a part of one: `bytes`
// without the first `skipBits` bits of their first byte, then the low
// `tailBits` bits of `tail` (a last byte not yet complete).
struct PackedBits {
    std::span<const std::uint8_t> bytes;
    int skipBits = 0;  // 0..7
    std::uint32_t tail = 0;
    int tailBits = 0;  // 0..7

    std::uint64_t size() const {
        return bytes.size() * 8 - static_cast<std::uint64_t>(skipBits) +
               static_cast<std::uint64_t>(tailBits);
    }
};

// What decoding gave: how many bytes and their CRC-16, how many bits it took,
// and, when it stopped on something no stream of ours holds, what that was.
struct Decoded {
    std::uint64_t length = 0;
    std::uint16_t crc = 0;
    std::uint64_t bits = 0;
    std::string error;  // empty when the bits decoded cleanly
};

// The window a decoder writes into, kept from one call to the next.
struct DecoderMemory {
    std::vector<std::uint8_t> window;
};

// Decodes `bits` into nothing but a count and a CRC: the check that what the
// encoder wrote gives back what it read. Written from the format, apart from
// the encoder's code (its tables, codes and positions), so that a mistake
// there is not repeated here. `history` is the data before the stream (a
// segment's dictionary), there to be matched, not counted. Stops after
// `length` bytes, which must end a block; decodes strictly: complete codes
// only, no distance beyond the dictionary (less one: our encoder's rule) or
// before the data, no match past `length`, no bits read past the end.
Decoded decode(Method method, const PackedBits& bits, std::span<const std::uint8_t> history,
               std::uint64_t length, DecoderMemory& memory);

}  // namespace unlha
