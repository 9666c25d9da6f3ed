#include "writing/lha/header.h"

#include <sys/stat.h>

#include <algorithm>
#include <cassert>
#include <cstring>

#include "writing/lha/crc16.h"
#include "writing/lha/name_codec.h"

namespace unlha {
namespace {

enum Ext : std::uint8_t {
    kExtHeaderCrc = 0x00,
    kExtFileName = 0x01,
    kExtDirName = 0x02,
    kExtFileSize = 0x42,
    kExtCodePage = 0x46,
    kExtUnixMode = 0x50,
    kExtUnixIds = 0x51,
    kExtUnixTime = 0x54,
};

constexpr std::size_t kFixedSize = 24;
constexpr std::uint32_t kCodePageUtf8 = 65001;

void le16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}

void le32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

struct ExtWriter {
    std::vector<std::uint8_t>& h;
    // Level-2 extended headers: [size:2][type:1][data], the size counting all
    // three; a size of 0 ends the list.
    std::size_t add(std::uint8_t type, const void* data, std::size_t len) {
        const std::size_t at = h.size();
        h.resize(at + 3 + len);
        le16(h, at, static_cast<std::uint32_t>(3 + len));
        h[at + 2] = type;
        if (len) std::memcpy(&h[at + 3], data, len);
        return at + 3;
    }
    std::size_t add(std::uint8_t type, const std::string& s) {
        return add(type, s.data(), s.size());
    }
};

}  // namespace

bool makeStoredName(const EntryInfo& entry, StoredName* out, std::string* error) {
    const std::string& name = entry.name;
    if (name.empty() || name.front() == '/' || name.back() == '/') {
        *error =
            "invalid entry name '" + name + "': must be a relative path without a trailing '/'";
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = std::min(name.find('/', start), name.size());
        const std::string_view part(name.data() + start, slash - start);
        if (part.empty() || part == "." || part == "..") {
            *error = "invalid entry name '" + name + "': empty, '.' or '..' component";
            return false;
        }
        start = slash + 1;
    }

    std::string stored;
    if (auto cp = toCp932(name)) {
        stored = std::move(*cp);
        out->utf8 = false;
    } else {
        stored = name;
        out->utf8 = true;
    }
    // Neither code page 932 nor UTF-8 puts '/' inside a multi-byte character,
    // so the split is safe after conversion.
    std::size_t cut = stored.rfind('/');
    std::string dir = cut == std::string::npos ? std::string() : stored.substr(0, cut + 1);
    std::string file = cut == std::string::npos ? stored : stored.substr(cut + 1);
    if (entry.directory) {
        // A directory lives wholly in the directory-name field, which must end
        // with a separator.
        dir = stored + '/';
        file.clear();
    }
    std::replace(dir.begin(), dir.end(), '/', '\xFF');
    out->dir = std::move(dir);
    out->file = std::move(file);
    return true;
}

std::vector<std::uint8_t> buildHeader(const EntryInfo& entry, const StoredName& name,
                                      const HeaderData& data) {
    assert(std::strlen(data.method) == 5);
    std::vector<std::uint8_t> h(kFixedSize + 2, 0);
    h.resize(kFixedSize);
    std::memcpy(&h[2], data.method, 5);
    const bool large = data.originalSize > 0xFFFFFFFFu;
    le32(h, 7, large ? 0xFFFFFFFFu : static_cast<std::uint32_t>(data.packedSize));
    le32(h, 11, large ? 0xFFFFFFFFu : static_cast<std::uint32_t>(data.originalSize));
    const std::int64_t t = std::clamp<std::int64_t>(entry.mtime, 0, 0xFFFFFFFF);
    le32(h, 15, static_cast<std::uint32_t>(t));
    h[19] = 0x20;
    h[20] = 2;
    le16(h, 21, data.crc);
    h[23] = 'U';

    ExtWriter ext{h};
    const std::uint8_t zero[2] = {0, 0};
    const std::size_t crcAt = ext.add(kExtHeaderCrc, zero, 2);
    ext.add(kExtFileName, name.file);
    if (!name.dir.empty()) ext.add(kExtDirName, name.dir);
    if (name.utf8) {
        std::uint8_t cp[4] = {kCodePageUtf8 & 0xFF, (kCodePageUtf8 >> 8) & 0xFF, 0, 0};
        ext.add(kExtCodePage, cp, 4);
    }
    std::uint32_t mode = entry.mode;
    if ((mode & S_IFMT) == 0) mode |= entry.directory ? S_IFDIR : S_IFREG;
    const std::uint8_t m[2] = {static_cast<std::uint8_t>(mode),
                               static_cast<std::uint8_t>(mode >> 8)};
    ext.add(kExtUnixMode, m, 2);
    if (entry.uid <= 0xFFFF && entry.gid <= 0xFFFF) {
        const std::uint8_t ids[4] = {
            static_cast<std::uint8_t>(entry.gid), static_cast<std::uint8_t>(entry.gid >> 8),
            static_cast<std::uint8_t>(entry.uid), static_cast<std::uint8_t>(entry.uid >> 8)};
        ext.add(kExtUnixIds, ids, 4);
    }
    if (large) {
        std::uint8_t sizes[16];
        for (int i = 0; i < 8; ++i) {
            sizes[i] = static_cast<std::uint8_t>(data.packedSize >> (8 * i));
            sizes[8 + i] = static_cast<std::uint8_t>(data.originalSize >> (8 * i));
        }
        ext.add(kExtFileSize, sizes, 16);
    }
    // A header whose length has a zero low byte starts with 0x00, the
    // end-of-archive mark; lengthen it with a harmless timestamp record
    // rather than a padding byte that some readers do not skip.
    if (((h.size() + 2) & 0xFF) == 0) {
        const std::uint32_t t32 = static_cast<std::uint32_t>(t);
        const std::uint8_t tb[4] = {
            static_cast<std::uint8_t>(t32), static_cast<std::uint8_t>(t32 >> 8),
            static_cast<std::uint8_t>(t32 >> 16), static_cast<std::uint8_t>(t32 >> 24)};
        ext.add(kExtUnixTime, tb, 4);
    }
    h.push_back(0);
    h.push_back(0);
    le16(h, 0, static_cast<std::uint32_t>(h.size()));
    const std::uint16_t crc = crc16(0, h);
    le16(h, crcAt, crc);
    return h;
}

}  // namespace unlha
