#pragma once

#include <cstddef>
#include <cstdint>

// The fronts, embedded at build time (stub_blob.cpp.in): the Linux program
// and the Windows one, which is empty when it could not be built.
extern "C" const std::uint8_t dozo_rivo_stub_begin[];
extern "C" const std::uint8_t dozo_rivo_stub_end[];
extern "C" const std::uint8_t dozo_rivo_windows_begin[];
extern "C" const std::uint8_t dozo_rivo_windows_end[];

namespace dozo::rivo {

struct Front {
    const std::uint8_t* bytes;
    std::size_t size;
};

inline Front linuxFront() {
    return {dozo_rivo_stub_begin,
            static_cast<std::size_t>(dozo_rivo_stub_end - dozo_rivo_stub_begin)};
}

inline Front windowsFront() {
    return {dozo_rivo_windows_begin,
            static_cast<std::size_t>(dozo_rivo_windows_end - dozo_rivo_windows_begin)};
}

}  // namespace dozo::rivo
