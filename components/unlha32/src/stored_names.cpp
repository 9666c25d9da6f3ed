#include "stored_names.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "dozo/fileio/io.h"
#include "dozo/fileio/printable.h"
#include "lha/crc16.h"

namespace unlha32 {
namespace {

std::uint32_t le(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// Decodes a field to UTF-8 one character at a time, as libarchive's iconv
// would; a byte that starts no character is kept as it is and its index noted.
class Decoder {
public:
    explicit Decoder(const char* charset) : cd_(::iconv_open("UTF-8", charset)) {}
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        if (ok()) ::iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    void decode(const unsigned char* p, std::size_t size, bool dosSeparators, std::string& out,
                std::vector<std::size_t>& bad) {
        for (std::size_t i = 0; i < size;) {
            const std::size_t n = character(p + i, size - i, out);
            if (n == 0) {
                bad.push_back(i);
                out += static_cast<char>(p[i]);
                ++i;
                continue;
            }
            // Level 0 names come from DOS-family systems, '\' their separator.
            if (dosSeparators && n == 1 && p[i] == '\\') out.back() = '/';
            i += n;
        }
    }

private:
    // The length of the character at p, its UTF-8 added to out; 0 for none.
    std::size_t character(const unsigned char* p, std::size_t left, std::string& out) {
        for (std::size_t n = 1; n <= 4 && n <= left; ++n) {
            ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            char converted[32];
            char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
            std::size_t inLeft = n;
            char* to = converted;
            std::size_t toLeft = sizeof converted;
            const std::size_t r = ::iconv(cd_, &in, &inLeft, &to, &toLeft);
            if (r != static_cast<std::size_t>(-1) && inLeft == 0) {
                out.append(converted, static_cast<std::size_t>(to - converted));
                return n;
            }
            if (r == static_cast<std::size_t>(-1) && errno != EINVAL) return 0;
        }
        return 0;
    }

    iconv_t cd_;
};

}  // namespace

bool StoredNames::scan(int fd) {
    int error = 0;
    const Read read = [fd, &error](std::int64_t offset, unsigned char* buffer, std::size_t size) {
        const ssize_t n = dozo::fileio::readFully(fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0) error = errno;
        return n == static_cast<ssize_t>(size);
    };
    scan(read);
    errno = error;
    return error == 0;
}

void StoredNames::scan(const unsigned char* data, std::size_t size) {
    const Read read = [data, size](std::int64_t offset, unsigned char* buffer, std::size_t n) {
        if (offset < 0 || static_cast<std::uint64_t>(offset) + n > size) return false;
        std::memcpy(buffer, data + offset, n);
        return true;
    };
    scan(read);
}

void StoredNames::scan(const Read& read) {
    std::int64_t at = 0;
    std::vector<unsigned char> h;
    for (int count = 0; count < 1000000; ++count) {
        unsigned char fixed[24];
        if (!read(at, fixed, 1) || fixed[0] == 0 || !read(at, fixed, sizeof fixed)) return;
        // A self-extracting archive's program, or level 3: libarchive's alone.
        if (fixed[2] != '-' || fixed[3] != 'l' || fixed[6] != '-' || fixed[20] > 2) return;
        const int level = fixed[20];
        std::uint64_t packed = le(&fixed[7], 4);
        std::size_t headerSize = level == 2 ? le(&fixed[0], 2) : std::size_t{fixed[0]} + 2;
        if (headerSize < (level == 2 ? 26 : level == 1 ? 27 : 24)) return;
        h.resize(headerSize);
        if (!read(at, h.data(), headerSize)) return;

        std::vector<Field> fields;  // the folder first, as libarchive joins them
        Field name;
        std::uint32_t codePage = 0;
        std::size_t crcAt = 0;  // the level 2 header CRC's value
        if (level < 2) {
            name = {22, h[21], false};
            if ((level == 0 ? 24 : 27) + name.size > headerSize) return;
            // libarchive refuses 0xFF in a level 1 name: no change may hide that.
            if (level == 1 && std::memchr(&h[22], 0xFF, name.size) != nullptr) return;
        }
        if (level > 0) {
            // Level 1 extensions follow the base header and count in the packed
            // size; level 2 ones are the rest of the header.
            std::size_t pos = level == 2 ? 24 : headerSize - 2;
            std::size_t next = le(&h[pos], 2);
            pos += 2;
            Field folder;
            while (next != 0) {
                if (next < 3 || (level == 2 && pos + next > h.size())) return;
                if (level == 1) {
                    if (h.size() > 0x20000) return;
                    h.resize(pos + next);
                    if (!read(at + static_cast<std::int64_t>(pos), &h[pos], next)) return;
                    if (packed < next) return;
                    packed -= next;
                }
                const unsigned char type = h[pos];
                const std::size_t payload = next - 3;
                if (type == 0x00 && payload == 2 && level == 2) crcAt = pos + 1;
                if (type == 0x01) name = {pos + 1, payload, false};
                if (type == 0x02) folder = {pos + 1, payload, true};
                if (type == 0x46 && payload == 4) codePage = le(&h[pos + 1], 4);
                if (type == 0x42 && payload == 16)
                    packed = le(&h[pos + 1], 4) | std::uint64_t{le(&h[pos + 5], 4)} << 32;
                pos += next;
                next = le(&h[pos - 2], 2);
            }
            if (folder.size != 0) fields.push_back(folder);
        }
        fields.push_back(name);
        if (packed > (std::uint64_t{1} << 62)) return;
        add(at, h, level, fields, codePage, crcAt);
        at += static_cast<std::int64_t>(h.size() + packed);
    }
}

void StoredNames::add(std::int64_t at, const std::vector<unsigned char>& h, int level,
                      const std::vector<Field>& fields, std::uint32_t codePage, std::size_t crcAt) {
    const std::string charset = codePage == 0       ? "CP932"
                                : codePage == 65001 ? "UTF-8"
                                                    : "CP" + std::to_string(codePage);
    Decoder decoder(charset.c_str());
    if (!decoder.ok()) return;
    std::string stored;
    std::vector<std::size_t> bad;  // offsets in h
    for (const Field& field : fields) {
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

std::string diskName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = 1;
        while (n <= 4 && i + n <= name.size() && !dozo::fileio::isUtf8(name.substr(i, n))) ++n;
        if (n <= 4 && i + n <= name.size()) {
            out.append(name, i, n);
            i += n;
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
        ++i;
    }
    return out;
}

}  // namespace unlha32
