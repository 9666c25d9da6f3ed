#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "writing/lha/archive_writer.h"

namespace unlha {

// A stored name split the way level-2 headers keep it: the directory part with
// 0xFF after every component, and the last component.
struct StoredName {
    std::string dir;
    std::string file;
    bool utf8 = false;  // not representable in code page 932: stored as UTF-8
};

// Checks the relative, '/'-separated name and converts it. Empty, absolute
// names and "." or ".." components are refused: readers reject them anyway.
bool makeStoredName(const EntryInfo& entry, StoredName* out, std::string* error);

struct HeaderData {
    const char* method;  // "-lh5-", "-lhd-", ...
    std::uint64_t packedSize = 0;
    std::uint64_t originalSize = 0;
    std::uint16_t crc = 0;
};

// A complete level-2 header. Its length depends only on the entry and name
// (not on sizes or CRC) as long as originalSize stays on the same side of
// 4 GiB, so a placeholder can later be overwritten in place. The caller
// refuses a result longer than 0xFFFF bytes (the length field would wrap).
std::vector<std::uint8_t> buildHeader(const EntryInfo& entry, const StoredName& name,
                                      const HeaderData& data);

}  // namespace unlha
