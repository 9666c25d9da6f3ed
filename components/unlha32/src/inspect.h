#pragma once

#include <cstdint>
#include <string>

#include "outcome.h"

namespace unlha32 {

// One line per entry in archive order, in Outcome::output:
// size \t packed size \t method \t CRC-16 (4 hex digits) \t local mtime \t name \n
// with the name as extraction would give it ('/' separators, a folder ending in
// '/', control characters escaped).
Outcome listArchive(const char* archivePath);

// Decodes every entry without writing anything; success only when each one has
// the size and CRC-16 its header declares. The reason names the first bad entry.
Outcome testArchive(const char* archivePath);

// The header fields libarchive keeps to itself, and where the entry lies.
struct StoredFields {
    std::string method;  // "-lh5-"
    std::uint64_t packedSize = 0;
    std::uint16_t crc = 0;
    std::int64_t headerAt = 0;  // the header's first byte
    std::int64_t dataAt = 0;    // the packed data's first byte
};

// Reads the header libarchive has just accepted at offset (its
// archive_read_header_position) from the archive file fd.
bool readStoredFields(int fd, std::int64_t offset, StoredFields& out);

}  // namespace unlha32
