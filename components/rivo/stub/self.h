#pragma once

#include <cstdint>

#include "../src/format.h"
#include "messages.h"

namespace dozo::rivo {

// The first regular executable file `name` in an absolute entry of path (a
// PATH value, or null), written to out. Only absolute entries count: an empty
// or relative one names whatever folder the package was started in (a
// download folder, a USB stick), and a program planted there must never run.
// Runs before the C library has started.
bool findOnPath(const char* path, const char* name, char* out, long size) RIVO_EARLY_CODE;

}  // namespace dozo::rivo
