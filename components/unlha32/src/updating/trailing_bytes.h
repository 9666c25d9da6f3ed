#pragma once

#include <cstdint>
#include <string>

#include "command/outcome.h"
#include "dozo/fileio/replacement.h"
#include "dozo/fileio/source.h"

namespace unlha32 {

// Bytes after the end mark belong to no entry and no reader shows them, but
// they are the user's (a second archive put after the first, say): they
// follow the new end mark as they followed the old one.
Outcome keepTrailing(dozo::fileio::Source* archive, std::int64_t from,
                     dozo::fileio::Replacement& result, const std::string& archivePath);

}  // namespace unlha32
