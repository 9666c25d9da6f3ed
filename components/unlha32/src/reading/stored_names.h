#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "reading/stored_header.h"

namespace unlha32 {

class NameDecoder;

// Entry names libarchive cannot convert from their code page. It gives up on
// the whole archive at the first such header, though the name is all that is
// wrong with it. Before libarchive reads anything the header chain is walked
// here: each byte that does not decode becomes '_' in what libarchive is fed
// (the header's checksum or CRC moved by the same amount, so a damaged header
// stays damaged), and the name is kept as decoded with those bytes left as
// they are, so it is not UTF-8 and printable() shows them escaped.
class StoredNames {
public:
    // Walks the headers of the archive in fd (or data, size); stops quietly at
    // anything it cannot follow and leaves the rest to libarchive. False, with
    // errno, for a read error: the caller's, like any other.
    bool scan(int fd);
    void scan(const unsigned char* data, std::size_t size);

    bool empty() const { return patches_.empty(); }
    // Applies the replacements to the bytes at [offset, offset + size).
    void patch(std::int64_t offset, unsigned char* bytes, std::size_t size) const;
    // The name of the header at offset, when it was changed for libarchive.
    const std::string* nameAt(std::int64_t headerOffset) const;

private:
    // Reads up to size bytes at offset: fewer where the archive ends, none
    // after a read error.
    using Read =
        std::function<std::size_t(std::int64_t offset, unsigned char* buffer, std::size_t size)>;
    void scan(const Read& read);
    void add(std::int64_t at, const std::vector<unsigned char>& h, const StoredHeader& header,
             NameDecoder& decoder);

    std::map<std::int64_t, unsigned char> patches_;  // file offset -> the byte libarchive sees
    std::map<std::int64_t, std::string> names_;      // header offset -> the name as stored
};

}  // namespace unlha32
