#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace unlha32 {

// One entry header as stored, levels 0 to 3, with the sizes libarchive reads
// from it: the header check, the listing, an update's copy and the walk past
// names that do not decode must agree on where an entry's data lies.
struct StoredHeader {
    struct Field {
        std::size_t at = 0;  // offset of the name bytes in the header
        std::size_t size = 0;
        bool folders = false;  // 0xFF separates folders (the directory extension)
    };

    int level = 0;
    std::size_t size = 0;          // to the data: a level 1 header's extensions included
    std::uint64_t packedSize = 0;  // the data's bytes
    std::uint16_t crc = 0;         // the data's CRC-16
    std::vector<Field> names;      // the folder first, as libarchive joins them
    std::uint32_t codePage = 0;    // 0 when the header names none
    std::size_t headerCrcAt = 0;   // where a header CRC's value is; 0 when none
};

// Reads the header whose bytes `h` holds from its first: fetch(end) makes the
// first `end` bytes available there (false when the archive ends first).
// False for anything that is not a sound header by its sizes.
using FetchHeader = std::function<bool(std::size_t end)>;
bool parseStoredHeader(const std::vector<unsigned char>& h, const FetchHeader& fetch,
                       StoredHeader& out);

// The header fields libarchive keeps to itself, and where the entry lies.
struct StoredFields {
    std::string method;  // "-lh5-"
    std::uint64_t packedSize = 0;
    std::uint16_t crc = 0;
    std::int64_t headerAt = 0;  // the header's first byte
    std::int64_t dataAt = 0;    // the packed data's first byte
};

// Reads the header libarchive has just accepted at offset (its
// archive_read_header_position) from the archive file fd. False for a header
// that is not sound by its sizes or fails its own check (sum or CRC).
bool readStoredFields(int fd, std::int64_t offset, StoredFields& out);

}  // namespace unlha32
