#include "reading/stored_names.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "dozo/fileio/io.h"
#include "dozo/fileio/printable.h"
#include "writing/lha/byte_order.h"
#include "writing/lha/crc16.h"

namespace unlha32 {
namespace {

using unlha::le;

// One read serves a whole header as a rule.
constexpr std::size_t kWindow = 1024;

}  // namespace

// Decodes a name field to UTF-8 as libarchive's iconv would; where that fails,
// one character at a time, each byte that starts no character kept as it is.
class NameDecoder {
public:
    explicit NameDecoder(const char* charset) : cd_(::iconv_open("UTF-8", charset)) {}
    NameDecoder(const NameDecoder&) = delete;
    NameDecoder& operator=(const NameDecoder&) = delete;
    ~NameDecoder() {
        if (ok()) ::iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Appends the field to out; the indexes of the bytes kept as they are go
    // to bad.
    void decode(const unsigned char* p, std::size_t size, bool dosSeparators, std::string& out,
                std::vector<std::size_t>& bad) {
        const std::size_t from = out.size();
        if (!convert(p, size, out)) {
            out.resize(from);
            for (std::size_t i = 0; i < size;) {
                std::size_t n = 1;
                while (n <= 4 && n <= size - i && !convert(p + i, n, out)) ++n;
                if (n > 4 || n > size - i) {
                    bad.push_back(i);
                    out += static_cast<char>(p[i]);
                    n = 1;
                }
                i += n;
            }
        }
        // Level 0 names come from DOS-family systems, '\' their separator;
        // libarchive turns it into '/' once decoded.
        if (dosSeparators)
            std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), '\\', '/');
    }

private:
    // Whether all size bytes make whole characters, their UTF-8 added to out.
    bool convert(const unsigned char* p, std::size_t size, std::string& out) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
        std::size_t inLeft = size;
        const std::size_t from = out.size();
        out.resize(from + size * 4 + 4);
        char* to = &out[from];
        std::size_t toLeft = size * 4 + 4;
        const std::size_t r = ::iconv(cd_, &in, &inLeft, &to, &toLeft);
        const bool whole = r != static_cast<std::size_t>(-1) && inLeft == 0;
        out.resize(whole ? static_cast<std::size_t>(to - out.data()) : from);
        return whole;
    }

    iconv_t cd_;
};

bool StoredNames::scan(int fd) {
    // Small entries put many headers in one block: read blocks, not headers.
    constexpr std::size_t kBlock = 8 * 1024;
    std::vector<unsigned char> block(kBlock);
    std::int64_t blockAt = -1;
    std::size_t blockHas = 0;
    int error = 0;
    const Read read = [&](std::int64_t offset, unsigned char* buffer, std::size_t size) {
        if (error != 0) return std::size_t{0};
        if (size > kBlock) {
            const ssize_t n = dozo::fileio::readFully(fd, buffer, size, static_cast<off_t>(offset));
            if (n < 0) error = errno;
            return n > 0 ? static_cast<std::size_t>(n) : std::size_t{0};
        }
        if (blockAt < 0 || offset < blockAt ||
            offset + static_cast<std::int64_t>(size) >
                blockAt + static_cast<std::int64_t>(blockHas)) {
            const ssize_t n =
                dozo::fileio::readFully(fd, block.data(), kBlock, static_cast<off_t>(offset));
            if (n < 0) error = errno;
            blockAt = offset;
            blockHas = n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        const auto from = static_cast<std::size_t>(offset - blockAt);
        const std::size_t n = std::min(size, blockHas - from);
        std::memcpy(buffer, &block[from], n);
        return n;
    };
    scan(read);
    errno = error;
    return error == 0;
}

void StoredNames::scan(const unsigned char* data, std::size_t size) {
    const Read read = [data, size](std::int64_t offset, unsigned char* buffer, std::size_t n) {
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= size) return std::size_t{0};
        n = std::min<std::size_t>(n, size - static_cast<std::size_t>(offset));
        std::memcpy(buffer, data + offset, n);
        return n;
    };
    scan(read);
}

void StoredNames::scan(const Read& read) {
    std::map<std::uint32_t, std::unique_ptr<NameDecoder>> decoders;  // by code page
    std::int64_t at = 0;
    std::vector<unsigned char> h;
    for (int count = 0; count < 1000000; ++count) {
        // The bytes of the header at 'at': have of them read, more on demand.
        h.resize(kWindow);
        std::size_t have = read(at, h.data(), h.size());
        const auto fetch = [&](std::size_t end) {
            if (end <= have) return true;
            if (end > h.size()) h.resize(end);
            have += read(at + static_cast<std::int64_t>(have), &h[have], end - have);
            return have >= end;
        };
        if (have == 0 || h[0] == 0) return;
        // A self-extracting archive's program: libarchive's alone.
        StoredHeader header;
        if (!parseStoredHeader(h, fetch, header)) return;
        // libarchive refuses 0xFF in a level 1 name: no change may hide that.
        if (header.level == 1 && std::memchr(&h[22], 0xFF, h[21]) != nullptr) return;
        h.resize(header.size);

        const std::uint32_t codePage = header.codePage;
        std::unique_ptr<NameDecoder>& decoder = decoders[codePage];
        if (!decoder) {
            const std::string charset = codePage == 0       ? "CP932"
                                        : codePage == 65001 ? "UTF-8"
                                                            : "CP" + std::to_string(codePage);
            decoder = std::make_unique<NameDecoder>(charset.c_str());
        }
        if (decoder->ok()) add(at, h, header, *decoder);
        at += static_cast<std::int64_t>(header.size + header.packedSize);
    }
}

void StoredNames::add(std::int64_t at, const std::vector<unsigned char>& h,
                      const StoredHeader& header, NameDecoder& decoder) {
    const int level = header.level;
    const std::size_t crcAt = header.headerCrcAt;
    std::string stored;
    std::vector<std::size_t> bad;  // offsets in h
    for (const StoredHeader::Field& field : header.names) {
        std::size_t start = field.at;
        const std::size_t end = field.at + field.size;
        while (start < end) {
            std::size_t stop = start;
            while (stop < end && !(field.folders && h[stop] == 0xFF)) ++stop;
            std::vector<std::size_t> here;
            decoder.decode(&h[start], stop - start, level == 0, stored, here);
            for (std::size_t i : here) bad.push_back(start + i);
            if (stop < end) stored += '/';
            start = stop + 1;
        }
    }
    if (bad.empty()) return;

    std::vector<unsigned char> patched = h;
    for (std::size_t i : bad) patched[i] = '_';
    if (level < 2) {
        // The header sum covers the base header, the name within it.
        int delta = 0;
        for (std::size_t i : bad)
            if (i < std::size_t{h[0]} + 2) delta += patched[i] - h[i];
        patched[1] = static_cast<unsigned char>(h[1] + delta);
    } else if (crcAt != 0) {
        // Levels 2 and 3: computed with the CRC field zero, and linear in the bytes.
        std::vector<unsigned char> zeroed = h;
        zeroed[crcAt] = zeroed[crcAt + 1] = 0;
        const std::uint16_t before = unlha::crc16(0, zeroed);
        for (std::size_t i : bad) zeroed[i] = '_';
        const std::uint16_t after = unlha::crc16(0, zeroed);
        const auto crc = static_cast<std::uint16_t>(le(&h[crcAt], 2) ^ before ^ after);
        patched[crcAt] = static_cast<unsigned char>(crc & 0xFF);
        patched[crcAt + 1] = static_cast<unsigned char>(crc >> 8);
    }
    for (std::size_t i = 0; i < h.size(); ++i)
        if (patched[i] != h[i]) patches_[at + static_cast<std::int64_t>(i)] = patched[i];
    names_[at] = stored;
}

void StoredNames::patch(std::int64_t offset, unsigned char* bytes, std::size_t size) const {
    for (auto it = patches_.lower_bound(offset);
         it != patches_.end() && it->first < offset + static_cast<std::int64_t>(size); ++it)
        bytes[it->first - offset] = it->second;
}

const std::string* StoredNames::nameAt(std::int64_t headerOffset) const {
    const auto it = names_.find(headerOffset);
    return it == names_.end() ? nullptr : &it->second;
}

}  // namespace unlha32
