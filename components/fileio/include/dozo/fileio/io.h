#pragma once

#include <sys/types.h>

#include <cstddef>
#include <utility>

namespace dozo::fileio {

// An owned file descriptor, closed when it goes away.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_;
};

// Offset argument meaning "at the file position", which then advances.
inline constexpr off_t kAtPosition = -1;

// Reads until n bytes are in or the file ends, resuming after interruptions
// and short reads. Returns the bytes read (fewer than n only at end of file),
// or -1 with errno set. With an offset the file position is left alone.
ssize_t readFully(int fd, void* buffer, std::size_t n, off_t offset = kAtPosition);

// readFully for callers that need all n bytes: a file that ends first (it
// shrank, or was cut short) fails like an I/O error, with errno EIO.
bool readExact(int fd, void* buffer, std::size_t n, off_t offset = kAtPosition);

// Writes all n bytes, resuming after interruptions and short writes. False
// with errno set on failure; a write that makes no progress is a failure
// (EIO), never a reason to spin.
bool writeAll(int fd, const void* data, std::size_t n, off_t offset = kAtPosition);

}  // namespace dozo::fileio
