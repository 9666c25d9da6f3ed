#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>

#include "dozo/fileio/sys.h"

namespace dozo::test {

// Swaps entries of the system-call table for the life of the object; the
// real calls come back when it goes away.
class Fault {
public:
    Fault() : saved_(fileio::sysCalls()) {}
    Fault(const Fault&) = delete;
    Fault& operator=(const Fault&) = delete;
    ~Fault() { fileio::sysCalls() = saved_; }

    fileio::SysCalls& calls() { return fileio::sysCalls(); }
    const fileio::SysCalls& real() const { return saved_; }

private:
    fileio::SysCalls saved_;
};

// As on a file system without unnamed temporary files: results get a hidden
// name beside the destination from the start.
inline void withoutUnnamedTemporaries(fileio::SysCalls& calls) {
    calls.openat = [](int dirFd, const char* name, int flags, mode_t mode) {
        if ((flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return ::openat(dirFd, name, flags, mode);
    };
}

// A stand-in for any system call: it fails with Error. Assign it to a table
// entry (calls.fsync = failing<EIO>) and the entry's type picks the signature.
template <int Error, class R, class... Args>
R failing(Args...) {
    errno = Error;
    return -1;
}

// Every third call through these is interrupted (the first included); the
// others move at most Cap bytes. Real is the call to pass on to.
inline int flakyCalls = 0;
template <auto Real, std::size_t Cap, class Buffer, class... Offset>
ssize_t flaky(int fd, Buffer buf, size_t n, Offset... at) {
    if (flakyCalls++ % 3 == 0) return failing<EINTR, ssize_t>();
    return Real(fd, buf, n < Cap ? n : Cap, at...);
}

}  // namespace dozo::test
