#pragma once

#include "command/outcome.h"

namespace unlha32 {

// One line per entry in archive order, in Outcome::output:
// size \t packed size \t method \t CRC-16 (4 hex digits) \t local mtime \t name \n
// with the name as extraction would give it ('/' separators, a folder ending in
// '/', control characters escaped).
Outcome listArchive(const char* archivePath);

// Decodes every entry without writing anything; success only when each one has
// the size and CRC-16 its header declares. The reason names the first bad entry.
Outcome testArchive(const char* archivePath);

}  // namespace unlha32
