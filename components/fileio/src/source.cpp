#include "dozo/fileio/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dozo/fileio/io.h"

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
    // A short read means the file shrank under us: as much an error as EIO.
    return readExact(fd_, buffer, n, static_cast<off_t>(offset)) ? Status::ok : Status::read;
}

}  // namespace dozo::fileio
