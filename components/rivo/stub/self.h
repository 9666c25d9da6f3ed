#pragma once

#include <cstdint>

#include "../src/format.h"
#include "messages.h"

namespace dozo::rivo {

// Reads where this program's own ELF image ends in fd (the file it runs
// from) and what follows it, to tell a cut or extended package from a file
// that holds none. trailerError is what the trailer check said.
ParseError whyNoTrailer(int fd, std::uint64_t fileSize, ParseError trailerError);

// The first regular executable file `name` in an absolute entry of path (a
// PATH value, or null), written to out. Only absolute entries count: an empty
// or relative one names whatever folder the package was started in (a
// download folder, a USB stick), and a program planted there must never run.
// Runs before the C library has started.
bool findOnPath(const char* path, const char* name, char* out, long size) RIVO_EARLY_CODE;

}  // namespace dozo::rivo
