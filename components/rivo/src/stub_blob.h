#pragma once

#include <cstddef>
#include <cstdint>

// The stub executable, embedded at build time (stub_blob.S).
extern "C" const std::uint8_t dozo_rivo_stub_begin[];
extern "C" const std::uint8_t dozo_rivo_stub_end[];

namespace dozo::rivo {
inline std::size_t stubSize() {
    return static_cast<std::size_t>(dozo_rivo_stub_end - dozo_rivo_stub_begin);
}
}  // namespace dozo::rivo
