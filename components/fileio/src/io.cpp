#include "dozo/fileio/io.h"

#include <errno.h>
#include <unistd.h>

#include "dozo/fileio/sys.h"

namespace dozo::fileio {

void Fd::reset(int fd) {
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
}

ssize_t readFully(int fd, void* buffer, std::size_t n, off_t offset) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got =
            offset == kAtPosition
                ? sysCalls().read(fd, out + done, n - done)
                : sysCalls().pread(fd, out + done, n - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool readExact(int fd, void* buffer, std::size_t n, off_t offset) {
    const ssize_t got = readFully(fd, buffer, n, offset);
    if (got >= 0 && got != static_cast<ssize_t>(n)) errno = EIO;
    return got == static_cast<ssize_t>(n);
}

bool writeAll(int fd, const void* data, std::size_t n, off_t offset) {
    const auto* in = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put =
            offset == kAtPosition
                ? sysCalls().write(fd, in + done, n - done)
                : sysCalls().pwrite(fd, in + done, n - done, offset + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace dozo::fileio
