#pragma once

#include <cstddef>
#include <cstdint>

#include "dozo/fileio/status.h"

namespace dozo::fileio {

// A regular file opened for reading by absolute offsets, so a pass may walk it
// forwards or backwards in large blocks.
class Source {
public:
    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source();

    // Status::sourceOpen when the path does not name a readable regular file.
    Status open(const char* path);
    std::int64_t size() const { return size_; }
    // Reads exactly n bytes at offset; Status::read on an error or a short read
    // (the file shrank under us).
    Status readAt(std::int64_t offset, void* buffer, std::size_t n);
    void close();

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
};

}  // namespace dozo::fileio
