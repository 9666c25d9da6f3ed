#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <string>

#include "command/outcome.h"
#include "dozo/fileio/io.h"
#include "dozo/fileio/printable.h"
#include "dozo/fileio/source.h"

namespace unlha32 {

// Serializes updates of one archive across processes. The lock is on the
// archive file itself, which a finished update replaces by rename: a run that
// waited on the old file sees that the path now names another and locks that
// one instead, so it reads what the previous run wrote. A missing archive is
// claimed by locking its folder until it exists.
//
// Another archiver takes no lock of ours: the archive held is also the one
// the result may replace only while it is still the file read, or what that
// program added meanwhile would be lost under our rename.
class ArchiveLock {
public:
    Outcome acquire(const std::string& archivePath) {
        const auto slash = archivePath.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : archivePath.substr(0, slash + 1);
        for (;;) {
            if (archive_.open(archivePath.c_str()) == dozo::fileio::Status::ok) {
                held_ = true;
                return {};
            }
            const int openError = errno;
            // An archive that is there but would not open (EIO, EMFILE...)
            // cannot be updated without the lock and the handle that keep
            // what follows its end mark: the run fails. Anything but a file
            // there is refused by the caller, with its own reason.
            struct stat st {};
            if (::stat(archivePath.c_str(), &st) == 0) {
                if (!S_ISREG(st.st_mode)) return {};
                return failure(UNLHA_ERROR_ARCHIVE_OPEN, {UNLHA_CAUSE_ARCHIVE_OPEN, {}, openError},
                               "既存の書庫を開けません: " + printable(archivePath) + " (" +
                                   errorText(openError) + ")");
            }
            if (const int error = errno; error != ENOENT)
                return failure(UNLHA_ERROR_ARCHIVE_OPEN, {UNLHA_CAUSE_ARCHIVE_OPEN, {}, error},
                               "書庫の場所を調べられません: " + printable(archivePath) + " (" +
                                   errorText(error) + ")");
            // Missing: its folder is locked until it exists. Without that lock
            // the run goes on, creating the archive only where nothing has
            // appeared meanwhile (the caller's no-clobber placement).
            folder_.reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (folder_.get() < 0 || !lock(folder_.get())) return {};
            if (::stat(archivePath.c_str(), &st) != 0 && errno == ENOENT) return {};
            folder_.reset(-1);
        }
    }

    // The archive as it was locked, for the result's commit; nullptr when
    // there was none to lock.
    dozo::fileio::Source* archive() { return held_ ? &archive_ : nullptr; }

private:
    static bool lock(int fd) {
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }

    dozo::fileio::Source archive_;
    bool held_ = false;
    dozo::fileio::Fd folder_;
};

}  // namespace unlha32
