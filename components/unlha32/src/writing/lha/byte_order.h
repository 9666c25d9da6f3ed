#pragma once

#include <cstdint>

namespace unlha {

// A little-endian field of 1 to 4 bytes, as LHA headers store their numbers.
inline std::uint32_t le(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

}  // namespace unlha
