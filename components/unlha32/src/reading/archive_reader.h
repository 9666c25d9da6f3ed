#pragma once

#include <locale.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dozo/fileio/io.h"
#include "reading/stored_names.h"

struct archive;
struct archive_entry;

namespace unlha32 {

// A libarchive reader for LHA only, with names decoded from code page 932 (or
// the code page an entry's header names) into UTF-8 whatever the caller's
// locale. libarchive converts names into the locale's character set, so the
// reader switches this thread to a UTF-8 locale for its lifetime.
//
// libarchive takes a failed read where a header should start for the end of
// the archive. The reader reads the file itself and turns any read error into
// a fatal result of next(), readData() and skipData(), so no caller can take
// an unreadable archive for a short one.
//
// It also takes a file that stops right after an entry's data for the end: an
// archive cut at an entry boundary would pass for a shorter sound one. Every
// archive ends in a zero byte where the next header would start, so next()
// turns an end without that byte into a fatal result too (cutShort()).
//
// A name that does not decode is no reason to give up the archive: libarchive
// is fed it with those bytes replaced (StoredNames), and next() gives the
// entry its name as stored, not UTF-8 where it does not decode.
class ArchiveReader {
public:
    ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;
    ~ArchiveReader();

    // Refuses anything but a regular file, so a FIFO or device never blocks us.
    bool openFile(const char* path, std::string& reason);
    // Why openFile() failed: the file could not be opened at all (missing,
    // no permission: UNLHA_ERROR_ARCHIVE_OPEN), or it is there but no LHA
    // archive (UNLHA_ERROR_NOT_ARCHIVE).
    enum class OpenResult { opened, cannotOpen, notArchive };
    OpenResult openResult() const { return openResult_; }
    // The errno of an open that failed (cannotOpen).
    int openError() const { return openError_; }
    bool openMemory(const void* data, std::size_t size, std::string& reason);

    // libarchive's result: ARCHIVE_OK, ARCHIVE_WARN, ARCHIVE_EOF, ARCHIVE_FAILED or ARCHIVE_FATAL;
    // ARCHIVE_FAILED too for a header that declares a negative size, ARCHIVE_EOF only where the
    // end mark is.
    int next(archive_entry*& entry);
    // The last next() found the file's end where a header or the end mark
    // should start.
    bool cutShort() const { return cutShort_; }
    // archive_read_data and archive_read_data_skip, fatal after a read error.
    long readData(void* buffer, std::size_t size);
    int skipData();
    // The method of the current entry ("lh5" ...), empty when unknown.
    std::string method() const;
    std::string error() const;
    archive* handle() const { return archive_; }
    // The open archive file (-1 for one in memory), for reading header fields
    // libarchive does not report; read it only with pread.
    int fd() const { return fd_.get(); }
    // Where the current entry's header starts in the file.
    std::int64_t headerOffset() const;

private:
    static long readCallback(archive*, void* self, const void** buffer);
    static std::int64_t skipCallback(archive*, void* self, std::int64_t request);
    bool prepare(std::string& reason);
    // Whether a byte follows the position libarchive has consumed to: -1 for
    // a read error.
    int byteFollows();

    locale_t utf8_ = static_cast<locale_t>(0);
    locale_t previous_ = static_cast<locale_t>(0);
    archive* archive_ = nullptr;
    dozo::fileio::Fd fd_;
    int readError_ = 0;  // errno of the first failed read
    bool cutShort_ = false;
    OpenResult openResult_ = OpenResult::opened;
    int openError_ = 0;
    const void* memory_ = nullptr;  // an archive in memory, and its size
    std::size_t memorySize_ = 0;
    char* block_ = nullptr;
    StoredNames names_;
    std::vector<unsigned char> patched_;  // an archive in memory, as libarchive is fed it
};

}  // namespace unlha32
