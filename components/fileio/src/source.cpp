#include "dozo/fileio/source.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "dozo/fileio/io.h"

namespace dozo::fileio {
namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool throughHeldFolder(const char* path) {
    constexpr std::string_view prefix = "/proc/self/fd/";
    const std::string_view p = path != nullptr ? path : "";
    if (!p.starts_with(prefix)) return false;
    const std::string_view rest = p.substr(prefix.size());
    const auto slash = rest.find('/');
    if (slash == 0 || slash == std::string_view::npos) return false;
    for (char c : rest.substr(0, slash))
        if (c < '0' || c > '9') return false;
    const std::string_view name = rest.substr(slash + 1);
    return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

Source::~Source() {
    close();
}

void Source::close() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock too
    fd_ = -1;
}

Status Source::open(const char* path) {
    close();
    if (path == nullptr || *path == '\0') return Status::sourceOpen;
    path_ = path;
    struct stat st {};
    const int noFollow = throughHeldFolder(path) ? O_NOFOLLOW : 0;
    // A run that held the file until now has usually put its result in its
    // place: the path names a new file, which is the one to read.
    for (int attempt = 0; attempt < 64; ++attempt) {
        close();
        // O_NONBLOCK so that a FIFO given as the source is refused instead of
        // blocking the call until some writer appears; regular files ignore it.
        fd_ = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | noFollow);
        if (fd_ < 0) return Status::sourceOpen;
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            close();
            return Status::sourceOpen;
        }
        // Exclusive even where the source is not the destination: another run
        // may be rewriting it, and this one must read either version whole. A
        // file system without locks (some network ones) only loses the wait.
        int locked;
        do {
            locked = ::flock(fd_, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        struct stat now {};
        if (::fstat(fd_, &st) != 0) {
            close();
            return Status::sourceOpen;
        }
        if (locked != 0 || (::stat(path, &now) == 0 && sameFile(now, st))) break;
    }
    size_ = st.st_size;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    changedSec_ = st.st_ctim.tv_sec;
    changedNsec_ = st.st_ctim.tv_nsec;
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return Status::ok;
}

Status Source::readAt(std::int64_t offset, void* buffer, std::size_t n) {
    // A short read means the file shrank under us: as much an error as EIO.
    return readExact(fd_, buffer, n, static_cast<off_t>(offset)) ? Status::ok : Status::read;
}

bool Source::unchanged() const {
    struct stat st {
    }, named{};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_size == size_ &&
           st.st_ctim.tv_sec == changedSec_ && st.st_ctim.tv_nsec == changedNsec_ &&
           ::stat(path_.c_str(), &named) == 0 && named.st_dev == dev_ && named.st_ino == ino_;
}

}  // namespace dozo::fileio
