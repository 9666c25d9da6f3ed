#include "reading/stored_header.h"

#include <algorithm>

#include "dozo/fileio/io.h"
#include "writing/lha/byte_order.h"
#include "writing/lha/crc16.h"

namespace unlha32 {
namespace {

using unlha::le;

// No writer makes longer headers; one that claims more is damage.
constexpr std::size_t kMaxHeader = 0x20000;

bool looksLikeHeader(const unsigned char* p) {
    return p[2] == '-' && p[3] == 'l' && p[6] == '-' && p[20] <= 3;
}

// The header's own check, as libarchive makes it: levels 0 and 1 sum the
// bytes of their base header after its first two, levels 2 and 3 keep a
// CRC-16 of the whole header, taken with its own field zero, where they have
// the extension that holds it.
bool headerCheckHolds(const std::vector<unsigned char>& h, const StoredHeader& header) {
    if (header.level < 2) {
        unsigned char sum = 0;
        for (std::size_t i = 2; i < std::size_t{h[0]} + 2; ++i)
            sum = static_cast<unsigned char>(sum + h[i]);
        return sum == h[1];
    }
    if (header.headerCrcAt == 0) return true;
    std::vector<unsigned char> zeroed(h.begin(), h.begin() + static_cast<long>(header.size));
    zeroed[header.headerCrcAt] = zeroed[header.headerCrcAt + 1] = 0;
    return unlha::crc16(0, zeroed) == le(&h[header.headerCrcAt], 2);
}

}  // namespace

bool parseStoredHeader(const std::vector<unsigned char>& h, const FetchHeader& fetch,
                       StoredHeader& out) {
    if (!fetch(24) || h[2] != '-' || h[3] != 'l' || h[6] != '-' || h[20] > 3) return false;
    out = {};
    const int level = out.level = h[20];
    out.packedSize = le(&h[7], 4);
    // Levels 0 and 1 have one size byte counting from byte 2; their name and
    // the data's CRC follow it. Levels 2 and 3 size the whole header and
    // keep everything else in extensions, whose sizes take 2 and 4 bytes.
    std::size_t size = 0, pos = 0, sizeBytes = 2;
    StoredHeader::Field name, folder;
    if (level < 2) {
        size = std::size_t{h[0]} + 2;
        const std::size_t nameSize = h[21];
        if (size < (level == 0 ? 24 : 27) + nameSize || !fetch(size)) return false;
        name = {22, nameSize, false};
        out.crc = static_cast<std::uint16_t>(le(&h[22 + nameSize], 2));
        pos = size - 2;
    } else {
        sizeBytes = level == 2 ? 2 : 4;
        pos = level == 2 ? 24 : 28;  // the first extension's size
        size = level == 2 ? le(&h[0], 2) : (fetch(28) ? le(&h[24], 4) : 0);
        if (size < pos + sizeBytes || size > kMaxHeader || !fetch(size)) return false;
        out.crc = static_cast<std::uint16_t>(le(&h[21], 2));
    }
    if (level == 0) {
        out.names.push_back(name);
        out.size = size;
        return true;
    }
    // Each extension ends in the size of the next. Level 1 ones follow the
    // base header and count in the packed size (so does a 64-bit size
    // extension's value); those of levels 2 and 3 are the rest of the header.
    std::size_t next = le(&h[pos], static_cast<int>(sizeBytes));
    pos += sizeBytes;
    std::uint64_t extensions = 0;
    while (next != 0) {
        if (next < 1 + sizeBytes || pos + next > (level == 1 ? kMaxHeader : size) ||
            !fetch(pos + next))
            return false;
        extensions += next;
        const unsigned char type = h[pos];
        const std::size_t payload = next - 1 - sizeBytes;
        if (type == 0x00 && payload == 2 && level >= 2) out.headerCrcAt = pos + 1;
        if (type == 0x01) name = {pos + 1, payload, false};
        if (type == 0x02) folder = {pos + 1, payload, true};
        if (type == 0x46 && payload == 4) out.codePage = le(&h[pos + 1], 4);
        if (type == 0x42 && payload == 16)
            out.packedSize = le(&h[pos + 1], 4) | std::uint64_t{le(&h[pos + 5], 4)} << 32;
        pos += next;
        next = le(&h[pos - sizeBytes], static_cast<int>(sizeBytes));
    }
    if (folder.size != 0) out.names.push_back(folder);
    out.names.push_back(name);
    if (level == 1) {
        if (out.packedSize < extensions) return false;
        out.packedSize -= extensions;
        size = pos;
    }
    // Far beyond any file: what follows could not be found anyway.
    if (out.packedSize > (std::uint64_t{1} << 62)) return false;
    out.size = size;
    return true;
}

// Before the first header of a self-extracting archive libarchive skips the
// program, which its offset does not show: the header is then searched for.
bool readStoredFields(int fd, std::int64_t offset, StoredFields& out) {
    // One read of the first kilobyte serves a header as a rule; the search, in
    // one read of its window, not one per byte.
    constexpr std::size_t kWindow = 1024, kSearch = 64 * 1024;
    std::vector<unsigned char> h(kWindow);
    std::int64_t at = offset;
    ssize_t got = dozo::fileio::readFully(fd, h.data(), h.size(), static_cast<off_t>(at));
    if (got >= 24 && !looksLikeHeader(h.data())) {
        std::vector<unsigned char> window(kSearch + 24);
        got = dozo::fileio::readFully(fd, window.data(), window.size(), static_cast<off_t>(at));
        std::size_t skip = 0;
        while (got >= 0 && skip + 24 <= static_cast<std::size_t>(got) &&
               !looksLikeHeader(&window[skip]))
            ++skip;
        if (got < 0 || skip + 24 > static_cast<std::size_t>(got)) return false;
        at += static_cast<std::int64_t>(skip);
        got = dozo::fileio::readFully(fd, h.data(), h.size(), static_cast<off_t>(at));
    }
    // A read error is the header's, never retried into a success.
    if (got < 0) return false;
    std::size_t have = static_cast<std::size_t>(got);
    const FetchHeader fetch = [&](std::size_t end) {
        if (end <= have) return true;
        if (end > kMaxHeader) return false;
        h.resize(std::max(h.size(), end));
        if (!dozo::fileio::readExact(fd, &h[have], end - have,
                                     static_cast<off_t>(at + static_cast<std::int64_t>(have))))
            return false;
        have = end;
        return true;
    };
    StoredHeader header;
    if (!parseStoredHeader(h, fetch, header) || !headerCheckHolds(h, header)) return false;
    out.headerAt = at;
    out.method.assign(reinterpret_cast<const char*>(&h[2]), 5);
    out.packedSize = header.packedSize;
    out.crc = header.crc;
    out.dataAt = at + static_cast<std::int64_t>(header.size);
    return true;
}

}  // namespace unlha32
