#include "dozo/fileio/source.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dozo/fileio/sys.h"

namespace dozo::fileio {

Source::~Source() {
    close();
}

void Source::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Status Source::open(const char* path) {
    close();
    if (path == nullptr || *path == '\0') return Status::sourceOpen;
    // O_NONBLOCK so that a FIFO given as the source is refused instead of
    // blocking the call until some writer appears; regular files ignore it.
    fd_ = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return Status::sourceOpen;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        return Status::sourceOpen;
    }
    size_ = st.st_size;
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return Status::ok;
}

Status Source::readAt(std::int64_t offset, void* buffer, std::size_t n) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (n > 0) {
        const ssize_t got = sysCalls().pread(fd_, out, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Status::read;
        out += got;
        offset += got;
        n -= static_cast<std::size_t>(got);
    }
    return Status::ok;
}

}  // namespace dozo::fileio
