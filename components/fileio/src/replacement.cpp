#include "dozo/fileio/replacement.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "dozo/fileio/source.h"

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

}  // namespace

Replacement::Replacement() : result_(std::make_unique<Placement>()) {}

Replacement::~Replacement() = default;

void Replacement::discard() {
    result_->discard();
}

int Replacement::fd() const {
    return result_->fd();
}

Status Replacement::open(const char* destinationPath, bool keepNewcomer) {
    discard();
    if (destinationPath == nullptr || *destinationPath == '\0') return Status::destinationCreate;

    target_ = destinationPath;
    struct stat st {};
    if (!throughHeldFolder(destinationPath) && ::lstat(destinationPath, &st) == 0 &&
        S_ISLNK(st.st_mode)) {
        // Replace what the link points at, not the link itself. A dangling
        // link is simply replaced by the new file.
        if (char* real = ::realpath(destinationPath, nullptr)) {
            target_ = real;
            ::free(real);
        }
    }

    // Not even a dangling link there: what appears by commit() is another's.
    keepNewcomer_ = keepNewcomer && ::lstat(target_.c_str(), &st) != 0 && errno == ENOENT;
    destinationExists_ = ::stat(target_.c_str(), &st) == 0;
    if (destinationExists_) {
        // A file without any write bit is read-only even to root, as the
        // read-only attribute is on the desktop systems our users come from.
        if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 ||
            ::access(target_.c_str(), W_OK) != 0)
            return Status::destinationReadOnly;
        // Set-id bits never pass to new content: a package written over a
        // set-user-ID file must not become a set-user-ID program.
        mode_ = st.st_mode & 0777;
        uid_ = st.st_uid;
        gid_ = st.st_gid;
    } else if (errno != ENOENT) {
        return Status::destinationCreate;
    }

    std::string dir, base;
    splitPath(target_, dir, base);
    if (base.empty()) return Status::destinationCreate;
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return Status::destinationCreate;
    // Private until commit() gives it its final mode: a 0600 destination's
    // new content is never readable by others, not even for a moment.
    const int error = result_->create(dirFd, base, {.mode = 0600});
    ::close(dirFd);
    return error == 0 ? Status::ok : Status::destinationCreate;
}

Status Replacement::write(const void* data, std::size_t n) {
    if (result_->fd() < 0 || !writeAll(result_->fd(), data, n)) return Status::write;
    return Status::ok;
}

Status Replacement::commit(unsigned extraModeBits, Source* source) {
    if (result_->fd() < 0) return Status::replace;
    int error = 0;
    if (destinationExists_) {
        // The file stays its owner's, in its group. Only root gives a file
        // away; anyone else can keep only their own file in one of their
        // groups. Another user's file that is merely writable would become
        // the writer's, in the writer's group, and so often unreadable to
        // its owner: that result is not placed.
        error = result_->setPermissions(static_cast<mode_t>((mode_ | extraModeBits) & 0777),
                                        static_cast<uid_t>(uid_), static_cast<gid_t>(gid_));
        // Read now, not at open(): an attribute set during a long rewrite stays.
        if (error == 0) error = result_->copyAttributes(target_.c_str());
    } else {
        // What the umask gives any new file of the user's.
        error = result_->setPermissions(restoredMode(0666) | (extraModeBits & 0777));
    }
    if (error != 0) {
        discard();
        return Status::replace;
    }
    if (result_->flush() != 0) {
        discard();
        return Status::write;
    }
    // As late as possible: whatever changes the source after this is lost.
    if (source != nullptr && !source->unchanged()) {
        discard();
        return Status::sourceChanged;
    }
    error =
        result_->place(keepNewcomer_ ? Placement::Existing::keep : Placement::Existing::replace);
    discard();
    return error == 0 ? Status::ok : Status::replace;
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
