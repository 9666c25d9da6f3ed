#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace dozo::textcodec {

// CRC-16/ARC: the reflected polynomial 0xA001, initial value 0, no final XOR.
// LHA uses it for both the data and the header CRC. `crc` continues an
// earlier part (0 to start).
std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data);

// The CRC of A followed by B from crc16(0, A), crc16(0, B) and B's length, in
// time logarithmic in the length: pieces checked on other threads join cheaply.
std::uint16_t crc16Combine(std::uint16_t crcA, std::uint16_t crcB, std::uint64_t lengthB);

// A whole file's size and CRC-16, read to its end; nothing when it cannot be
// opened or read.
struct FileCheck {
    std::int64_t size = 0;
    std::uint16_t crc = 0;
};
std::optional<FileCheck> crc16OfFile(const char* path);

}  // namespace dozo::textcodec
