#include "restore.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "dozo/fileio/placement.h"
#include "messages.h"
#include "outcome.h"

namespace dozo::rivo {
namespace {

ExitCode writeFailed(const RestoreOptions& o, const std::string& name, int error) {
    const std::string where = o.dirPath + "/" + shown(name);
    say(stderr, text(Msg::writeFailed), where.c_str(), strerror(error));
    return kExitIo;
}

}  // namespace

// Whole reads at an offset: a package cut short reads as an I/O failure here,
// its parts having been checked against its size already.
bool Package::readAt(void* buffer, std::size_t n, std::uint64_t offset) const {
    return fileio::readExact(fd.get(), buffer, n, static_cast<off_t>(offset));
}

ExitCode openPackage(const char* path, Package& p) {
    p.path = shown(path);
    p.fd.reset(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    if (p.fd.get() < 0) p.fd.reset(::open(path, O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (p.fd.get() < 0 || ::fstat(p.fd.get(), &st) != 0) {
        say(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
        return kExitIo;
    }
    p.bytes = static_cast<std::uint64_t>(st.st_size);
    return report(locate(p, p.where), p.path);
}

void printInfo(const Package& p) {
    const Located& w = p.where;
    const auto content = contentSizeFor(w.header.sealedSize);
    printf(text(Msg::info), unsigned{w.header.version}, (unsigned long long)w.fileSize,
           (unsigned long long)w.trailer.payloadOffset, (unsigned long long)w.trailer.payloadSize,
           (unsigned long long)content.value_or(0), w.header.opslimit, w.header.memlimitKib,
           "Linux (x86-64)");
}

ExitCode restore(const Package& p, const Password& password, const RestoreOptions& o) {
    Unsealing unsealing(p, p.where);
    Metadata meta;
    Unsealed step = unsealing.unlock(password.bytes, password.length);
    if (step == Unsealed::ok) step = unsealing.metadata(meta);
    if (step != Unsealed::ok) return report(step, p.path);

    const std::string name = sanitizeName(meta.name, "rivo-restored");
    const std::string shownPath = o.dirPath + "/" + shown(name);
    if (name != meta.name)
        say(stdout, text(Msg::renamed), shown(meta.name).c_str(), shown(name).c_str());
    bool replace = o.force;
    if (!o.testOnly && !replace) {
        struct stat st {};
        if (::fstatat(o.dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!o.askReplace) {
                say(stderr, text(Msg::exists), shownPath.c_str());
                return kExitExists;
            }
            if (!o.askReplace(shownPath)) {
                say(stderr, text(Msg::keptExisting), shownPath.c_str());
                return kExitExists;
            }
            replace = true;
        }
    }
    fileio::Placement out;
    if (!o.testOnly) {
        if (const int error = out.create(o.dirFd, name); error != 0)
            return writeFailed(o, name, error);
    }

    int writeError = 0;
    std::uint64_t written = 0;
    step = unsealing.content([&](const std::uint8_t* block, std::size_t n) {
        if (o.testOnly) return true;
        if (!fileio::writeAll(out.fd(), block, n)) {
            writeError = errno;
            return false;
        }
        // Start writeback of this block, so the closing fsync finds little left to do.
        ::sync_file_range(out.fd(), static_cast<off64_t>(written), static_cast<off64_t>(n),
                          SYNC_FILE_RANGE_WRITE);
        written += n;
        return true;
    });
    if (step == Unsealed::sinkFailed) return writeFailed(o, name, writeError);
    if (step != Unsealed::ok) return report(step, p.path);

    if (o.testOnly) {
        say(stdout, text(Msg::verified), shown(name).c_str(), (unsigned long long)meta.size);
        return kExitOk;
    }
    // As any new file of the user's: under the umask, and set-id or sticky bits
    // from a package are not ours to grant.
    out.setPermissions(fileio::restoredMode(static_cast<mode_t>(meta.mode)));
    const struct timespec times[2] = {
        {0, UTIME_OMIT}, {static_cast<time_t>(meta.mtimeSec), static_cast<long>(meta.mtimeNsec)}};
    ::futimens(out.fd(), times);
    if (const int error = out.flush(); error != 0) return writeFailed(o, name, error);
    using Existing = fileio::Placement::Existing;
    if (const int rc = out.place(replace ? Existing::replace : Existing::keep); rc != 0) {
        if (rc == EEXIST) {
            say(stderr, text(Msg::exists), shownPath.c_str());
            return kExitExists;
        }
        return writeFailed(o, name, rc);
    }
    say(stdout, text(Msg::restored), shownPath.c_str());
    return kExitOk;
}

void removePartialOutput() {
    fileio::removeNamedTemporaries();
}

}  // namespace dozo::rivo
