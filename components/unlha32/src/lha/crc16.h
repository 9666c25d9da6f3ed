#pragma once

#include <cstdint>
#include <span>

namespace unlha {

// CRC-16 with the reflected polynomial 0xA001 and initial value 0, used by LHA
// for both the data and the header CRC.
std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data);

// The CRC of A followed by B from crc16(0, A), crc16(0, B) and B's length, in
// time logarithmic in the length: pieces checked on other threads join cheaply.
std::uint16_t crc16Combine(std::uint16_t crcA, std::uint16_t crcB, std::uint64_t lengthB);

}  // namespace unlha
