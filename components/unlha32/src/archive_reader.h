#pragma once

#include <locale.h>

#include <cstddef>
#include <string>

struct archive;
struct archive_entry;

namespace unlha32 {

// A libarchive reader for LHA only, with names decoded from code page 932 (or
// the code page an entry's header names) into UTF-8 whatever the caller's
// locale. libarchive converts names into the locale's character set, so the
// reader switches this thread to a UTF-8 locale for its lifetime.
class ArchiveReader {
public:
    ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;
    ~ArchiveReader();

    // Refuses anything but a regular file, so a FIFO or device never blocks us.
    bool openFile(const char* path, std::string& reason);
    bool openMemory(const void* data, std::size_t size, std::string& reason);

    // libarchive's result: ARCHIVE_OK, ARCHIVE_WARN, ARCHIVE_EOF, ARCHIVE_FAILED or ARCHIVE_FATAL.
    int next(archive_entry*& entry);
    // The method of the current entry ("lh5" ...), empty when unknown.
    std::string method() const;
    std::string error() const;
    archive* handle() const { return archive_; }

private:
    bool prepare(std::string& reason);

    locale_t utf8_ = static_cast<locale_t>(0);
    locale_t previous_ = static_cast<locale_t>(0);
    archive* archive_ = nullptr;
};

}  // namespace unlha32
