#pragma once

#include <errno.h>
#include <fcntl.h>

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

}  // namespace dozo::test
