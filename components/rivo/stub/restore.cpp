#include "restore.h"

#include <errno.h>
#include <fcntl.h>
#include <sodium.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <memory>

#include "../src/crypto.h"
#include "messages.h"
#include "self.h"

namespace dozo::rivo {
namespace {

constexpr std::size_t kChunksPerBlock = 16;
constexpr std::size_t kSealedChunk = kChunkSize + kTagOverhead;

// A named temporary the signal handler must remove. Plain globals only.
int gPartialDirFd = -1;
char gPartialName[64];
volatile sig_atomic_t gPartialNamed = 0;

bool readAt(int fd, void* buffer, std::size_t n, std::uint64_t offset) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool writeAll(int fd, const void* buffer, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

ExitCode parseFailure(ParseError e, const char* path) {
    switch (e) {
        case ParseError::notPackage:
            fprintf(stderr, text(Msg::notPackage), path);
            break;
        case ParseError::extraData:
            fprintf(stderr, text(Msg::extraData), path);
            break;
        case ParseError::unsupported:
            fputs(text(Msg::unsupported), stderr);
            break;
        case ParseError::costTooHigh:
            fputs(text(Msg::costTooHigh), stderr);
            break;
        default:
            fputs(text(Msg::damaged), stderr);
            break;
    }
    return kExitDamaged;
}

void hiddenName(char (&name)[64]) {
    unsigned char r[8];
    randombytes_buf(r, sizeof r);
    char hex[17];
    sodium_bin2hex(hex, sizeof hex, r, sizeof r);
    snprintf(name, sizeof name, ".rivo-%s.part", hex);
}

// The restored file while it is written: unnamed (O_TMPFILE) where the file
// system allows, else a hidden name; it gets its real name only once
// complete, and never through a symbolic link.
class Output {
public:
    explicit Output(int dirFd) : dirFd_(dirFd) {}
    ~Output() { discard(); }

    bool create() {
        if (::access("/proc/self/fd", X_OK) == 0) {
            fd_ = ::openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
            if (fd_ >= 0) return true;
        }
        for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
            hiddenName(gPartialName);
            gPartialDirFd = dirFd_;
            fd_ = ::openat(dirFd_, gPartialName,
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        gPartialNamed = fd_ >= 0;
        return fd_ >= 0;
    }
    int fd() const { return fd_; }

    // 0 on success, else an errno (EEXIST when the name is taken and !force).
    int place(const char* name, bool force) {
        if (!gPartialNamed) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd_);
            if (!force) {
                // linkat never replaces: the atomic no-overwrite we need.
                return ::linkat(AT_FDCWD, self.c_str(), dirFd_, name, AT_SYMLINK_FOLLOW) == 0
                           ? 0
                           : errno;
            }
            for (int attempt = 0; attempt < 8 && !gPartialNamed; ++attempt) {
                hiddenName(gPartialName);
                gPartialDirFd = dirFd_;
                if (::linkat(AT_FDCWD, self.c_str(), dirFd_, gPartialName, AT_SYMLINK_FOLLOW) == 0)
                    gPartialNamed = 1;
                else if (errno != EEXIST)
                    return errno;
            }
            if (!gPartialNamed) return EEXIST;
        }
        int rc;
        if (force) {
            // rename replaces the directory entry itself, a symbolic link included.
            rc = ::renameat(dirFd_, gPartialName, dirFd_, name) == 0 ? 0 : errno;
        } else {
            rc = ::renameat2(dirFd_, gPartialName, dirFd_, name, RENAME_NOREPLACE) == 0 ? 0 : errno;
            if (rc == EINVAL || rc == ENOSYS) {
                rc = ::linkat(dirFd_, gPartialName, dirFd_, name, 0) == 0 ? 0 : errno;
                if (rc == 0) ::unlinkat(dirFd_, gPartialName, 0);
            }
        }
        if (rc == 0) gPartialNamed = 0;
        return rc;
    }

    void discard() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (gPartialNamed) ::unlinkat(dirFd_, gPartialName, 0);
        gPartialNamed = 0;
    }

private:
    int dirFd_;
    int fd_ = -1;
};

ExitCode writeFailed(const RestoreOptions& o, const std::string& name, int error) {
    const std::string where = o.dirPath + "/" + shown(name);
    fprintf(stderr, text(Msg::writeFailed), where.c_str(), strerror(error));
    return kExitIo;
}

}  // namespace

Package::~Package() {
    if (fd >= 0) ::close(fd);
}

ExitCode openPackage(const char* path, Package& p) {
    p.path = shown(path);
    p.fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (p.fd < 0) p.fd = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (p.fd < 0 || ::fstat(p.fd, &st) != 0) {
        fprintf(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
        return kExitIo;
    }
    p.fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t trailer[kTrailerSize];
    if (p.fileSize < kTrailerSize) return parseFailure(ParseError::notPackage, p.path.c_str());
    if (!readAt(p.fd, trailer, kTrailerSize, p.fileSize - kTrailerSize)) {
        fprintf(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
        return kExitIo;
    }
    if (ParseError e = parseTrailer(trailer, p.fileSize, p.trailer); e != ParseError::none)
        return parseFailure(whyNoTrailer(p.fd, p.fileSize, e), p.path.c_str());
    if (!readAt(p.fd, p.headerBytes, kHeaderSize, p.trailer.payloadOffset)) {
        fprintf(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
        return kExitIo;
    }
    ParseError e = parseHeader(p.headerBytes, p.header);
    if (e == ParseError::none) e = checkAgreement(p.trailer, p.header);
    // Before any prompt: a cost out of bounds is refused, never asked for.
    if (e == ParseError::none) e = checkKdfCost(p.header);
    if (e != ParseError::none) return parseFailure(e, p.path.c_str());
    return kExitOk;
}

void printInfo(const Package& p) {
    const auto content = contentSizeFor(p.header.sealedSize);
    printf(text(Msg::info), unsigned{p.header.version}, (unsigned long long)p.fileSize,
           (unsigned long long)p.trailer.payloadOffset, (unsigned long long)p.trailer.payloadSize,
           (unsigned long long)content.value_or(0), p.header.opslimit, p.header.memlimitKib);
}

ExitCode restore(const Package& p, const Password& password, const RestoreOptions& o) {
    if (password.tooLong) {
        fputs(text(Msg::wrongPassword), stderr);
        return kExitWrongPassword;
    }
    Keys keys;
    if (!keys.valid() || !keys.derive(password.bytes, password.length, p.header)) {
        fputs(text(Msg::noMemory), stderr);
        return kExitIo;
    }
    if (!keys.matches(p.header)) {
        fputs(text(Msg::wrongPassword), stderr);
        return kExitWrongPassword;
    }

    Opener opener;
    std::uint8_t sealedMeta[kSealedMetadataSize];
    std::uint8_t plainMeta[kMetadataSize];
    std::uint64_t at = p.trailer.payloadOffset + kHeaderSize;
    if (!readAt(p.fd, sealedMeta, kSealedMetadataSize, at)) {
        fprintf(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
        return kExitIo;
    }
    at += kSealedMetadataSize;
    Metadata meta;
    bool final = false;
    const std::uint64_t expected = *contentSizeFor(p.header.sealedSize);
    if (!opener.start(keys, p.header) ||
        !opener.open(sealedMeta, kSealedMetadataSize, p.headerBytes, kHeaderSize, plainMeta,
                     final) ||
        !parseMetadata(plainMeta, meta) || meta.size != expected || final != (meta.size == 0))
        return parseFailure(ParseError::damaged, p.path.c_str());

    const std::string name = sanitizeName(meta.name, "rivo-restored");
    if (!o.testOnly && !o.force) {
        struct stat st {};
        if (::fstatat(o.dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            fprintf(stderr, text(Msg::exists), (o.dirPath + "/" + shown(name)).c_str());
            return kExitExists;
        }
    }
    Output out(o.dirFd);
    if (!o.testOnly && !out.create()) return writeFailed(o, name, errno);

    auto sealed = std::make_unique_for_overwrite<std::uint8_t[]>(kChunksPerBlock * kSealedChunk);
    auto plain = std::make_unique_for_overwrite<std::uint8_t[]>(kChunksPerBlock * kChunkSize);
    const std::uint64_t end = p.trailer.payloadOffset + p.trailer.payloadSize;
    std::uint64_t written = 0;
    while (at < end) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(kChunksPerBlock * kSealedChunk, end - at));
        if (!readAt(p.fd, sealed.get(), n, at)) {
            fprintf(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
            return kExitIo;
        }
        std::size_t plainBytes = 0;
        for (std::size_t i = 0; i < n; i += kSealedChunk) {
            const std::size_t len = std::min(kSealedChunk, n - i);
            // The final tag belongs on the last chunk and nowhere else.
            if (final ||
                !opener.open(sealed.get() + i, len, nullptr, 0, plain.get() + plainBytes, final) ||
                final != (at + i + len == end))
                return parseFailure(ParseError::damaged, p.path.c_str());
            plainBytes += len - kTagOverhead;
        }
        if (!o.testOnly) {
            if (!writeAll(out.fd(), plain.get(), plainBytes)) return writeFailed(o, name, errno);
            // Start writeback of this block, so the closing fsync finds little left to do.
            ::sync_file_range(out.fd(), static_cast<off64_t>(written),
                              static_cast<off64_t>(plainBytes), SYNC_FILE_RANGE_WRITE);
        }
        written += plainBytes;
        at += n;
    }
    if (!final || written != meta.size) return parseFailure(ParseError::damaged, p.path.c_str());

    if (o.testOnly) {
        printf(text(Msg::verified), shown(name).c_str(), (unsigned long long)meta.size);
        return kExitOk;
    }
    // Permission bits only: set-id bits from a package are not ours to grant.
    ::fchmod(out.fd(), meta.mode & 0777);
    const struct timespec times[2] = {
        {0, UTIME_OMIT}, {static_cast<time_t>(meta.mtimeSec), static_cast<long>(meta.mtimeNsec)}};
    ::futimens(out.fd(), times);
    if (::fsync(out.fd()) != 0) return writeFailed(o, name, errno);
    if (const int rc = out.place(name.c_str(), o.force); rc != 0) {
        if (rc == EEXIST) {
            fprintf(stderr, text(Msg::exists), (o.dirPath + "/" + shown(name)).c_str());
            return kExitExists;
        }
        return writeFailed(o, name, rc);
    }
    ::fsync(o.dirFd);
    printf(text(Msg::restored), (o.dirPath + "/" + shown(name)).c_str());
    return kExitOk;
}

void removePartialOutput() {
    if (gPartialNamed) ::unlinkat(gPartialDirFd, gPartialName, 0);
    gPartialNamed = 0;
}

}  // namespace dozo::rivo
