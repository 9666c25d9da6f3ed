#include "reading/inspect.h"

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

#include "dozo/fileio/io.h"
#include "extracting/entry_name.h"
#include "reading/archive_reader.h"
#include "reading/stored_header.h"
#include "writing/lha/crc16.h"

namespace unlha32 {
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

// An entry's name as stored, for a failure's parts.
std::string stored(archive_entry* entry) {
    const char* raw = archive_entry_pathname_utf8(entry);
    if (raw == nullptr) raw = archive_entry_pathname(entry);
    return raw == nullptr ? std::string() : std::string(raw);
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
                           reader.openResult() != ArchiveReader::OpenResult::cannotOpen,
                           reader.openError());
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
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "書庫のヘッダーを読めません (" + where() + "): " + reader.error());
        }
        StoredFields fields;
        if (!readStoredFields(reader.fd(), reader.headerOffset(), fields)) {
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "書庫のヘッダーを読めません (" + where() + ")");
        }
        ++entries;
        last = entryName(entry);
        if (Outcome o = visit(reader, entry, fields, last); o.failed()) return o;
    }
    if (entries == 0)
        return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_EMPTY},
                       "書庫に項目がありません");
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
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_CUT, stored(entry)},
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
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_CUT, stored(entry)},
                           "書庫が途中で切れています: " + name + " (" + reader.error() + ")");
        }
        std::uint16_t crc = 0;
        std::int64_t size = 0;
        for (;;) {
            const long n = reader.readData(buffer.get(), 64 * 1024);
            if (n == 0) break;
            if (n < 0) {
                return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_DATA, stored(entry)},
                               "データが壊れています: " + name + " (" + reader.error() + ")");
            }
            crc = unlha::crc16(crc, {buffer.get(), static_cast<std::size_t>(n)});
            size += n;
        }
        if (archive_entry_size_is_set(entry) != 0 && size != archive_entry_size(entry)) {
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_DATA, stored(entry)},
                           "データが宣言された大きさと違います: " + name);
        }
        if (crc != fields.crc)
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_DATA, stored(entry)},
                           "CRCが一致しません: " + name);
        return Outcome{};
    });
}

}  // namespace unlha32
