#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "dozo/fileio/status.h"

namespace dozo::fileio {

// Whether `path` is "/proc/self/fd/N/NAME": the entry NAME of a folder the
// caller holds open, the form a caller gives a file it found and checked
// itself (a folder walk). Such a path names that entry and nothing else: a
// link there is refused as a source and never resolved as a destination,
// so a link swapped in after the check cannot lead the call out of the tree.
bool throughHeldFolder(const char* path);

// A regular file opened for reading by absolute offsets, so a pass may walk it
// forwards or backwards in large blocks. It stays locked against the other
// rewrites of ours until it is closed, and remembers what it was when opened,
// so a result computed from it replaces it only while it still is that file.
class Source {
public:
    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source();

    // Status::sourceOpen when the path does not name a readable regular file
    // (nor when it names a link through a held folder).
    // Waits while another rewrite of ours holds the file.
    Status open(const char* path);
    std::int64_t size() const { return size_; }
    // Reads exactly n bytes at offset; Status::read on an error or a short read
    // (the file shrank under us).
    Status readAt(std::int64_t offset, void* buffer, std::size_t n);
    // False when the path now names another file, or the file's size or
    // change time moved since open() (someone wrote, appended or truncated).
    bool unchanged() const;
    void close();

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
    std::string path_;
#ifdef _WIN32
    std::int64_t changed_ = 0;  // last write time
    unsigned long volume_ = 0, indexHigh_ = 0, indexLow_ = 0;
#else
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    std::int64_t changedSec_ = 0, changedNsec_ = 0;
#endif
};

}  // namespace dozo::fileio
