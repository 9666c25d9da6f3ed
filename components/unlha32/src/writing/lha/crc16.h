#pragma once

// The archiver's names for the one CRC-16 (components/textcodec).
#include "dozo/textcodec/crc16.h"

namespace unlha {
using dozo::textcodec::crc16;
using dozo::textcodec::crc16Combine;
}  // namespace unlha
