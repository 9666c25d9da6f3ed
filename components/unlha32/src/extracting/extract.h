#pragma once

#include <cstddef>
#include <string>

#include "command/outcome.h"

namespace unlha32 {

class ArchiveReader;

// Extracts every entry below destination, which is created when missing; a
// trailing '/' or '\' is part of the path. Nothing is written outside it: names
// that could leave it and link or device entries are refused, and no path
// component is followed through a symbolic link. Each file is written to a
// hidden temporary and renamed into place only once its data and CRC are good,
// so a failed entry leaves nothing behind (nor the folders made for it). A
// file declared larger than the free space of its file system is refused
// before anything is written, and data beyond the declared size is damage.
// Existing files are kept unless overwrite is set. A time or mode that cannot
// be restored is a warning in Outcome::output; the run still succeeds. What
// was written is on disk before the run returns (a failed flush fails it).
Outcome extractArchive(const char* archivePath, const std::string& destination, bool overwrite);
Outcome extractMemory(const void* data, std::size_t size, const std::string& destination,
                      bool overwrite);

}  // namespace unlha32
