#include "dozo/fileio/replacement.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "dozo/fileio/sys.h"

namespace dozo::fileio {
namespace {

void splitPath(const std::string& path, std::string& dir, std::string& base) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        dir = ".";
        base = path;
    } else {
        dir = slash == 0 ? "/" : path.substr(0, slash);
        base = path.substr(slash + 1);
    }
}

// A name no other run picks: hidden, tied to the destination, unique per process and call.
std::string temporaryName(const std::string& base) {
    static std::atomic<unsigned> counter{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".dozo-%ld-%u", static_cast<long>(::getpid()),
                  counter.fetch_add(1));
    return "." + base + suffix;
}

// Named temporaries are only used where the file system has no unnamed ones,
// and a process killed while writing one leaves it behind. The next result
// for the same destination removes those whose process is gone.
void removeStaleTemporaries(int dirFd, const std::string& base) {
    const int fd = ::dup(dirFd);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    const std::string prefix = "." + base + ".dozo-";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '-' || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlinkat(dirFd, name.c_str(), 0);
    }
    ::closedir(dir);
}

bool procFdAvailable() {
    return ::access("/proc/self/fd", X_OK) == 0;
}

}  // namespace

Replacement::~Replacement() {
    discard();
}

void Replacement::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempName_.empty() && dirFd_ >= 0) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
    if (dirFd_ >= 0) ::close(dirFd_);
    dirFd_ = -1;
}

Status Replacement::open(const char* destinationPath) {
    discard();
    if (destinationPath == nullptr || *destinationPath == '\0') return Status::destinationCreate;

    target_ = destinationPath;
    struct stat st {};
    if (::lstat(destinationPath, &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace what the link points at, not the link itself. A dangling
        // link is simply replaced by the new file.
        if (char* real = ::realpath(destinationPath, nullptr)) {
            target_ = real;
            ::free(real);
        }
    }

    destinationExists_ = ::stat(target_.c_str(), &st) == 0;
    if (destinationExists_) {
        // A file without any write bit is read-only even to root, as the
        // read-only attribute is on the desktop systems our users come from.
        if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 ||
            ::access(target_.c_str(), W_OK) != 0)
            return Status::destinationReadOnly;
        mode_ = st.st_mode & 07777;
        uid_ = st.st_uid;
        gid_ = st.st_gid;
    } else if (errno != ENOENT) {
        return Status::destinationCreate;
    }

    std::string dir, base;
    splitPath(target_, dir, base);
    if (base.empty()) return Status::destinationCreate;
    dirFd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) return Status::destinationCreate;

    if (procFdAvailable())
        fd_ = sysCalls().openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        removeStaleTemporaries(dirFd_, base);
        tempName_ = temporaryName(base);
        fd_ = sysCalls().openat(dirFd_, tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                0666);
        if (fd_ < 0) {
            tempName_.clear();
            discard();
            return Status::destinationCreate;
        }
    }
    return Status::ok;
}

Status Replacement::write(const void* data, std::size_t n) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t put = sysCalls().write(fd_, in, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return Status::write;
        in += put;
        n -= static_cast<std::size_t>(put);
    }
    return Status::ok;
}

Status Replacement::commit(unsigned extraModeBits) {
    if (fd_ < 0) return Status::replace;
    if (destinationExists_) {
        // Owner first: a change of owner clears the set-user-ID and
        // set-group-ID bits, so the mode has to be given afterwards.
        if (::geteuid() == 0) (void)!::fchown(fd_, uid_, gid_);
        ::fchmod(fd_, mode_ | extraModeBits);
    } else if (extraModeBits != 0) {
        struct stat st {};
        if (::fstat(fd_, &st) == 0) ::fchmod(fd_, (st.st_mode & 07777) | extraModeBits);
    }
    if (sysCalls().fsync(fd_) != 0) {
        discard();
        return Status::write;
    }

    std::string dir, base;
    splitPath(target_, dir, base);
    if (tempName_.empty()) {
        // Name the unnamed file only now, an instant before the rename.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 16 && tempName_.empty(); ++attempt) {
            std::string name = temporaryName(base);
            if (::linkat(AT_FDCWD, self.c_str(), dirFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                tempName_ = name;
            else if (errno != EEXIST)
                break;
        }
        if (tempName_.empty()) {
            discard();
            return Status::replace;
        }
    }
    if (sysCalls().renameat(dirFd_, tempName_.c_str(), dirFd_, base.c_str()) != 0) {
        discard();
        return Status::replace;
    }
    tempName_.clear();
    // The data was durable before the rename; this makes the new name durable too.
    ::fsync(dirFd_);
    discard();
    return Status::ok;
}

WorkFile::~WorkFile() {
    if (path_.empty()) return;
    // Only the file we created goes: when the work path was also the (then
    // missing) destination, the result has since been renamed onto it.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_)
        ::unlink(path_.c_str());
}

Status WorkFile::create(const char* path, std::initializer_list<const char*> mustNotBe) {
    if (path == nullptr || *path == '\0') return Status::workCreate;
    struct stat work {};
    if (::stat(path, &work) == 0) {
        // Truncating the work file must never truncate the user's file.
        for (const char* other : mustNotBe) {
            struct stat st {};
            if (other != nullptr && ::stat(other, &st) == 0 && st.st_dev == work.st_dev &&
                st.st_ino == work.st_ino)
                return Status::workCreate;
        }
        // A FIFO or device at the work path is never ours to truncate or remove.
        if (!S_ISREG(work.st_mode)) return Status::workCreate;
    }
    const int fd =
        ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return Status::workCreate;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) return Status::workCreate;
    path_ = path;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return Status::ok;
}

}  // namespace dozo::fileio
