#include "inspect.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "archive_reader.h"
#include "dozo/fileio/io.h"
#include "entry_name.h"
#include "lha/byte_order.h"
#include "lha/crc16.h"

namespace unlha32 {
namespace {

using unlha::le;

// A header's fields are read a few bytes at a time, in a row: one read of
// the bytes from its start serves them, and only what lies beyond (a long
// extended header) is read on its own.
class HeaderBytes {
public:
    HeaderBytes(int fd, std::int64_t start) : fd_(fd), start_(start) {
        const ssize_t got = dozo::fileio::readFully(fd_, window_.data(), window_.size(),
                                                    static_cast<off_t>(start_));
        failed_ = got < 0;
        have_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    }

    bool read(unsigned char* buffer, std::size_t size, std::int64_t offset) {
        // A read error is the header's, never retried into a success.
        if (failed_) return false;
        if (offset >= start_ &&
            offset - start_ + static_cast<std::int64_t>(size) <= static_cast<std::int64_t>(have_)) {
            std::copy_n(&window_[static_cast<std::size_t>(offset - start_)], size, buffer);
            return true;
        }
        return dozo::fileio::readExact(fd_, buffer, size, static_cast<off_t>(offset));
    }

private:
    int fd_;
    std::int64_t start_;
    bool failed_ = false;
    std::size_t have_ = 0;
    std::array<unsigned char, 1024> window_;
};

bool looksLikeHeader(const unsigned char* p) {
    return p[2] == '-' && p[3] == 'l' && p[6] == '-' && p[20] <= 3;
}

}  // namespace

// Before the first header of a self-extracting archive libarchive skips the
// program, which its offset does not show: the header is then searched for.
bool readStoredFields(int fd, std::int64_t offset, StoredFields& out) {
    std::array<unsigned char, 300> h{};
    std::int64_t at = offset;
    HeaderBytes bytes(fd, offset);
    if (!bytes.read(h.data(), 24, at)) return false;
    if (!looksLikeHeader(h.data())) {
        // Searched in one read of the window, not one read per byte.
        constexpr std::size_t kSearch = 64 * 1024;
        std::vector<unsigned char> window(kSearch + 24);
        const ssize_t got =
            dozo::fileio::readFully(fd, window.data(), window.size(), static_cast<off_t>(offset));
        const std::size_t have = got > 0 ? static_cast<std::size_t>(got) : 0;
        std::size_t skip = 0;
        while (skip + 24 <= have && !looksLikeHeader(&window[skip])) ++skip;
        if (skip + 24 > have) return false;
        at = offset + static_cast<std::int64_t>(skip);
        std::copy_n(&window[skip], 24, h.data());
    }
    const int level = h[20];
    out.headerAt = at;
    out.method.assign(reinterpret_cast<const char*>(h.data()) + 2, 5);
    out.packedSize = le(&h[7], 4);
    if (level == 3) {
        out.crc = static_cast<std::uint16_t>(le(&h[21], 2));
        out.dataAt = at + le(&h[24], 4);
        return true;
    }
    std::int64_t pos = 0;    // the first extended header
    std::uint32_t next = 0;  // its size
    if (level == 2) {
        out.crc = static_cast<std::uint16_t>(le(&h[21], 2));
        out.dataAt = at + le(&h[0], 2);
        pos = at + 26;
        next = le(&h[24], 2);
    } else {
        // Levels 0 and 1: one size byte counting from byte 2, the name, the CRC.
        const std::size_t baseSize = std::size_t{h[0]} + 2;
        if (baseSize > h.size() || !bytes.read(h.data(), baseSize, at)) return false;
        const std::size_t crcAt = 22 + std::size_t{h[21]};
        if (crcAt + 2 > baseSize) return false;
        out.crc = static_cast<std::uint16_t>(le(&h[crcAt], 2));
        out.dataAt = at + static_cast<std::int64_t>(baseSize);
        if (level == 0) return true;
        pos = at + static_cast<std::int64_t>(baseSize);
        next = le(&h[baseSize - 2], 2);
    }
    // Each extended header ends in the size of the next. Level 1 counts them
    // in the packed size; a 64-bit size extension overrides the field.
    std::uint64_t extended = 0;
    std::uint64_t wide = 0;
    bool hasWide = false;
    for (int count = 0; next != 0; ++count) {
        extended += next;
        if (next < 3 || count > 1000 || extended > 0x10000 + out.packedSize) return false;
        unsigned char e[19];
        if (next == sizeof e) {
            if (!bytes.read(e, sizeof e, pos)) return false;
            if (e[0] == 0x42) {
                wide = std::uint64_t{le(&e[1], 4)} | std::uint64_t{le(&e[5], 4)} << 32;
                hasWide = true;
            }
        }
        unsigned char size[2];
        if (!bytes.read(size, 2, pos + next - 2)) return false;
        pos += next;
        next = le(size, 2);
    }
    if (hasWide) {
        out.packedSize = wide;
    } else if (level == 1) {
        if (extended > out.packedSize) return false;
        out.packedSize -= extended;
    }
    if (level == 1) out.dataAt = pos;
    return true;
}

namespace {

std::string entryName(archive_entry* entry) {
    const char* raw = archive_entry_pathname_utf8(entry);
    if (raw == nullptr) raw = archive_entry_pathname(entry);
    if (raw == nullptr) return {};
    std::string name;
    if (!extractedName(raw, name)) {
        // Extraction refuses it; show it as stored, with '/' separators.
        name = raw;
        for (char& c : name)
            if (c == '\\') c = '/';
    }
    if (archive_entry_filetype(entry) == AE_IFDIR && (name.empty() || name.back() != '/'))
        name += '/';
    return printable(name);
}

std::string localTime(time_t t) {
    struct tm parts {};
    char text[32] = "0000-00-00 00:00:00";
    if (::localtime_r(&t, &parts) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// The walk both commands share: every header through libarchive, its stored
// fields beside it; visit reads or skips the entry's data.
template <typename Visit>
Outcome walk(const char* archivePath, Visit visit) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openFile(archivePath, reason)) {
        return openFailure(archivePath, reason,
                           reader.openResult() != ArchiveReader::OpenResult::cannotOpen);
    }
    int entries = 0;
    std::string last;
    const auto where = [&] {
        return entries == 0 ? std::string("最初の項目")
                            : std::to_string(entries) + "個目の項目 " + last + " の後";
    };
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = reader.next(entry);
        if (r == ARCHIVE_EOF) break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            return failure(UNLHA_ERROR_NOT_ARCHIVE,
                           "書庫のヘッダーを読めません (" + where() + "): " + reader.error());
        }
        StoredFields fields;
        if (!readStoredFields(reader.fd(), reader.headerOffset(), fields)) {
            return failure(UNLHA_ERROR_NOT_ARCHIVE, "書庫のヘッダーを読めません (" + where() + ")");
        }
        ++entries;
        last = entryName(entry);
        if (Outcome o = visit(reader, entry, fields, last); o.failed()) return o;
    }
    if (entries == 0) return failure(UNLHA_ERROR_NOT_ARCHIVE, "書庫に項目がありません");
    return {};
}

}  // namespace

Outcome listArchive(const char* archivePath) {
    std::string listing;
    Outcome o = walk(archivePath, [&](ArchiveReader& reader, archive_entry* entry,
                                      const StoredFields& fields, const std::string& name) {
        const bool directory = archive_entry_filetype(entry) == AE_IFDIR;
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "%" PRId64 "\t%" PRIu64 "\t",
                      directory ? std::int64_t{0} : std::int64_t{archive_entry_size(entry)},
                      fields.packedSize);
        char crc[8];
        std::snprintf(crc, sizeof crc, "%04x", directory ? 0u : unsigned{fields.crc});
        listing.append(numbers).append(fields.method).append(1, '\t').append(crc);
        listing.append(1, '\t')
            .append(localTime(archive_entry_mtime(entry)))
            .append(1, '\t')
            .append(name)
            .append(1, '\n');
        if (reader.skipData() != ARCHIVE_OK) {
            return failure(UNLHA_ERROR_DATA,
                           "書庫が途中で切れています: " + name + " (" + reader.error() + ")");
        }
        return Outcome{};
    });
    if (!o.failed()) {
        o.output = std::move(listing);
        o.outputWhole = true;
    }
    return o;
}

Outcome testArchive(const char* archivePath) {
    auto buffer = std::make_unique<unsigned char[]>(64 * 1024);
    return walk(archivePath, [&](ArchiveReader& reader, archive_entry* entry,
                                 const StoredFields& fields, const std::string& name) {
        if (archive_entry_filetype(entry) != AE_IFREG) {
            if (reader.skipData() == ARCHIVE_OK) return Outcome{};
            return failure(UNLHA_ERROR_DATA,
                           "書庫が途中で切れています: " + name + " (" + reader.error() + ")");
        }
        std::uint16_t crc = 0;
        std::int64_t size = 0;
        for (;;) {
            const long n = reader.readData(buffer.get(), 64 * 1024);
            if (n == 0) break;
            if (n < 0) {
                return failure(UNLHA_ERROR_DATA,
                               "データが壊れています: " + name + " (" + reader.error() + ")");
            }
            crc = unlha::crc16(crc, {buffer.get(), static_cast<std::size_t>(n)});
            size += n;
        }
        if (archive_entry_size_is_set(entry) != 0 && size != archive_entry_size(entry)) {
            return failure(UNLHA_ERROR_DATA, "データが宣言された大きさと違います: " + name);
        }
        if (crc != fields.crc) return failure(UNLHA_ERROR_DATA, "CRCが一致しません: " + name);
        return Outcome{};
    });
}

}  // namespace unlha32
