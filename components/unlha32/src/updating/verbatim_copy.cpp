#include "updating/verbatim_copy.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "dozo/fileio/io.h"
#include "dozo/fileio/printable.h"
#include "extracting/entry_name.h"
#include "reading/archive_reader.h"
#include "reading/stored_header.h"
#include "writing/new_entries.h"

namespace unlha32 {
namespace {

// Copies a kept entry (its header and packed data, unchanged) from the old
// archive. Short reads are truncation: the entry must be whole. The buffer
// is the caller's, kept from one entry to the next: an archive of many small
// entries must not pay for a fresh megabyte each.
Outcome copyEntry(int archiveFd, std::int64_t from, std::int64_t length, ArchiveWriter& writer,
                  const std::string& name, std::vector<std::uint8_t>& buffer) {
    constexpr std::int64_t kCopyChunk = 1 << 20;
    if (static_cast<std::int64_t>(buffer.size()) < std::min(kCopyChunk, length))
        buffer.resize(static_cast<std::size_t>(std::min(kCopyChunk, length)));
    for (std::int64_t done = 0; done < length;) {
        const std::size_t want = static_cast<std::size_t>(std::min(kCopyChunk, length - done));
        const off_t at = static_cast<off_t>(from + done);
        const ssize_t n = dozo::fileio::readFully(archiveFd, buffer.data(), want, at);
        if (n < 0) {
            const int error = errno;
            return failure(
                UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_READ, {}, error},
                "既存の書庫を読めません: " + printable(name) + " (" + errorText(error) + ")");
        }
        if (static_cast<std::size_t>(n) < want)
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_CUT, name},
                           "既存の書庫が途中で切れています: " + printable(name));
        // The old archive goes once the new one is in place, and each of its
        // bytes is read once: its cached pages are given back before the
        // copy of them is written, so the copy reuses them instead of taking
        // as much memory again (and, in a virtual machine, pages the host
        // has to find).
        ::posix_fadvise(archiveFd, at, static_cast<off_t>(want), POSIX_FADV_DONTNEED);
        if (!writer.addRaw({buffer.data(), want})) return archiveFailure(writer);
        done += n;
    }
    return {};
}

// A file and a folder of one path cannot both come out of an archive: an
// input whose path the archive holds as the other kind (a folder entry, or
// entries under that path) would be dropped when the entry is the newer, or
// would leave those entries with no folder to go in.
Outcome kindConflict(Inputs& inputs, const std::string& path, bool folder, const Input* input) {
    if (input != nullptr && input->info.directory != folder)
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_KIND, path},
                       std::string("書庫に同じ名前の") + (folder ? "フォルダー" : "ファイル") +
                           "があるため格納できません: " + printable(path));
    for (auto slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string above = path.substr(0, slash);
        if (const Input* file = inputs.find(above); file != nullptr && !file->info.directory)
            return failure(
                UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_KIND, above},
                "書庫に同じ名前のフォルダーがあるため格納できません: " + printable(above));
    }
    return {};
}

}  // namespace

Outcome rewriteExisting(const std::string& archivePath, Inputs& inputs, ArchiveWriter& writer,
                        Method method, Progress& progress, std::int64_t& endAt) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openFile(archivePath.c_str(), reason))
        return failure(
            UNLHA_ERROR_NOT_ARCHIVE,
            {reader.openResult() == ArchiveReader::OpenResult::cannotOpen ? UNLHA_CAUSE_ARCHIVE_OPEN
                                                                          : UNLHA_CAUSE_NOT_ARCHIVE,
             {},
             reader.openError()},
            "既存の書庫を更新できません: " + reason);
    struct stat opened {};
    if (::fstat(reader.fd(), &opened) != 0) {
        const int error = errno;
        return failure(
            UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_READ, {}, error},
            "既存の書庫を読めません: " + printable(archivePath) + " (" + errorText(error) + ")");
    }
    std::int64_t entryEnd = -1;  // where the last entry read ends
    std::vector<std::uint8_t> copyBuffer;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = reader.next(entry);
        if (r == ARCHIVE_EOF) {
            std::uint8_t mark = 1;
            if (entryEnd < 0) return {};
            if (!dozo::fileio::readExact(reader.fd(), &mark, 1, entryEnd) || mark != 0)
                return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                               "既存の書庫に終わりの印がありません (" + reader.error() + ")");
            endAt = entryEnd + 1;
            return {};
        }
        // A name that did not decode comes only as stored (not UTF-8): the
        // entry is still copied as it is.
        const char* rawName = r == ARCHIVE_OK ? archive_entry_pathname_utf8(entry) : nullptr;
        if (r == ARCHIVE_OK && rawName == nullptr) rawName = archive_entry_pathname(entry);
        if (rawName == nullptr)
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "既存の書庫を最後まで読めません (" + reader.error() + ")");
        const mode_t type = archive_entry_filetype(entry);
        if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_symlink(entry) != nullptr ||
            archive_entry_hardlink(entry) != nullptr)
            return failure(
                UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ENTRY_SPECIAL, rawName},
                std::string(
                    "既存の書庫にファイルとフォルダー以外の項目があるため更新できません: ") +
                    printable(rawName));
        // A kept entry is copied as it is, so it is vetted as a reader takes
        // it: a name extraction refuses, a header that fails its own check
        // or data that runs past the archive would be carried into the new
        // one. Its data is not decoded: "t" does that.
        PlacedName placed;
        std::string unsafe;
        if (!placeEntryName(rawName, type == AE_IFDIR, placed, unsafe))
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ENTRY_NOT_KEPT, rawName},
                           "既存の書庫の項目を引き継げないため更新しません (" + unsafe +
                               "): " + printable(rawName));
        StoredFields fields;
        if (!readStoredFields(reader.fd(), reader.headerOffset(), fields) ||
            (entryEnd >= 0 && fields.headerAt != entryEnd))
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "既存の書庫のヘッダーを読めません: " + printable(rawName));
        if (fields.dataAt > opened.st_size ||
            fields.packedSize > static_cast<std::uint64_t>(opened.st_size - fields.dataAt))
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_NOT_KEPT, rawName},
                           "既存の書庫の項目が書庫の終わりを越えています: " + printable(rawName));
        const bool first = entryEnd < 0;
        const std::int64_t entryStart = fields.headerAt;
        entryEnd = fields.dataAt + static_cast<std::int64_t>(fields.packedSize);
        if (reader.skipData() != ARCHIVE_OK)
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "既存の書庫が壊れています (" + reader.error() + ")");
        // A self-extracting archive's program, which readers pass over to
        // the first header, stays in front of the entries.
        if (first && entryStart > 0) {
            if (Outcome o = copyEntry(reader.fd(), 0, entryStart, writer, rawName, copyBuffer);
                o.failed())
                return o;
        }

        std::string name = rawName;
        while (!name.empty() && name.back() == '/') name.pop_back();
        // An archive from elsewhere may spell the path another way ("sub\f.txt"):
        // the input it stands for is the one of the path it extracts under, or
        // the new entry would be added beside it and the stale one, first in
        // the archive, would be what extraction gives.
        std::string path;
        if (!extractedName(rawName, path)) path = name;
        Input* input = inputs.find(name);
        if (input == nullptr && path != name) input = inputs.find(path);
        if (Outcome o = kindConflict(inputs, path, type == AE_IFDIR, input); o.failed()) return o;
        const bool newer = input != nullptr && input->info.mtime > static_cast<std::int64_t>(
                                                                       archive_entry_mtime(entry));
        if (newer && !input->done) {
            if (Outcome o = writeCounted(writer, *input, method, progress); o.failed()) return o;
            input->replaced = true;
            continue;
        }
        // A later entry of a name held twice is what readers give: one older
        // than the input that took the first's place would hide it.
        if (newer && input->replaced) continue;
        if (Outcome o =
                copyEntry(reader.fd(), entryStart, entryEnd - entryStart, writer, name, copyBuffer);
            o.failed())
            return o;
        if (input != nullptr && !input->done) {
            input->done = true;
            progress.entryDone(input->size);
            // Counted as packed, yet its bytes are not in the archive.
            if (!input->info.directory &&
                input->info.mtime < static_cast<std::int64_t>(archive_entry_mtime(entry)))
                warn("書庫の項目の方が新しいため格納しません: " + printable(input->path()));
        }
    }
}

}  // namespace unlha32
