#pragma once

#include <cstddef>

#include "rivo.h"

namespace dozo::rivo {

// A password as entered: opaque bytes, used exactly as given (no change of
// encoding, only the line's end stripped), in a guarded allocation that is
// locked in memory and left out of core dumps, and wiped when it goes away.
struct Password {
    char* bytes = nullptr;  // RIVO_PASSWORD_MAX + 1 bytes; null when no memory
    std::size_t length = 0;
    bool tooLong = false;  // the line went on past RIVO_PASSWORD_MAX bytes
    Password();
    ~Password();
    Password(const Password&) = delete;
    Password& operator=(const Password&) = delete;
};

enum class Got { password, none, error };

}  // namespace dozo::rivo
