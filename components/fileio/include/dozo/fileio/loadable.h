#pragma once

#include <cstdint>

namespace dozo::fileio {

// The dynamic loader maps a library's segments as its program headers describe
// them, whatever the file's size: a library cut short (a copy or an install
// that stopped midway) is mapped past its end, and the first touch of the
// missing part kills the process with SIGBUS before it can say anything.
// Whoever loads a library of ours asks this first, with the file it is about
// to load open at `fd`: how far its loadable parts reach past the file's end
// (the file's size in `fileSize`), or 0 when they all lie within it, or when
// it is no 64-bit little-endian ELF object, which the loader itself refuses
// with a reason (as for a descriptor that is not open).
std::uint64_t cutShortAt(int fd, std::uint64_t& fileSize);

}  // namespace dozo::fileio
