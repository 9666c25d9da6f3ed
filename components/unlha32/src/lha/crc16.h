#pragma once

#include <cstdint>
#include <span>

namespace unlha {

// CRC-16 with the reflected polynomial 0xA001 and initial value 0, used by LHA
// for both the data and the header CRC.
std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data);

}  // namespace unlha
