#pragma once

#include <cstdint>

#include "../src/format.h"

namespace dozo::rivo {

// Reads where this program's own ELF image ends in fd (the file it runs
// from) and what follows it, to tell a cut or extended package from a file
// that holds none. trailerError is what the trailer check said.
ParseError whyNoTrailer(int fd, std::uint64_t fileSize, ParseError trailerError);

}  // namespace dozo::rivo
