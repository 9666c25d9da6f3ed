#include "restore.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "../src/crypto.h"
#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "messages.h"
#include "self.h"

namespace dozo::rivo {
namespace {

constexpr std::size_t kChunksPerBlock = 16;
constexpr std::size_t kSealedChunk = kChunkSize + kTagOverhead;

ExitCode parseFailure(ParseError e, const char* path) {
    switch (e) {
        case ParseError::notPackage:
            say(stderr, text(Msg::notPackage), path);
            break;
        case ParseError::extraData:
            say(stderr, text(Msg::extraData), path);
            break;
        case ParseError::unsupported:
            say(stderr, "%s", text(Msg::unsupported));
            break;
        case ParseError::costTooHigh:
            say(stderr, "%s", text(Msg::costTooHigh));
            break;
        default:
            say(stderr, "%s", text(Msg::damaged));
            break;
    }
    return kExitDamaged;
}

// Whole reads at an offset: a package cut short reads as an I/O failure here,
// its parts having been checked against its size already.
bool readAt(int fd, void* buffer, std::size_t n, std::uint64_t offset) {
    return fileio::readExact(fd, buffer, n, static_cast<off_t>(offset));
}

ExitCode writeFailed(const RestoreOptions& o, const std::string& name, int error) {
    const std::string where = o.dirPath + "/" + shown(name);
    say(stderr, text(Msg::writeFailed), where.c_str(), strerror(error));
    return kExitIo;
}

}  // namespace

ExitCode openPackage(const char* path, Package& p) {
    p.path = shown(path);
    p.fd.reset(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    if (p.fd.get() < 0) p.fd.reset(::open(path, O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (p.fd.get() < 0 || ::fstat(p.fd.get(), &st) != 0) {
        say(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
        return kExitIo;
    }
    p.fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t trailer[kTrailerSize];
    if (p.fileSize < kTrailerSize) return parseFailure(ParseError::notPackage, p.path.c_str());
    if (!readAt(p.fd.get(), trailer, kTrailerSize, p.fileSize - kTrailerSize)) {
        say(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
        return kExitIo;
    }
    if (ParseError e = parseTrailer(trailer, p.fileSize, p.trailer); e != ParseError::none)
        return parseFailure(whyNoTrailer(p.fd.get(), p.fileSize, e), p.path.c_str());
    if (!readAt(p.fd.get(), p.headerBytes, kHeaderSize, p.trailer.payloadOffset)) {
        say(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
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
    Keys keys;
    if (!keys.valid() || !keys.derive(password.bytes, password.length, p.header)) {
        say(stderr, "%s", text(Msg::noMemory));
        return kExitIo;
    }
    if (!keys.matches(p.header)) {
        say(stderr, "%s", text(Msg::wrongPassword));
        return kExitWrongPassword;
    }

    Opener opener;
    std::uint8_t sealedMeta[kSealedMetadataSize];
    std::uint8_t plainMeta[kMetadataSize];
    std::uint64_t at = p.trailer.payloadOffset + kHeaderSize;
    if (!readAt(p.fd.get(), sealedMeta, kSealedMetadataSize, at)) {
        say(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
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
            say(stderr, text(Msg::exists), (o.dirPath + "/" + shown(name)).c_str());
            return kExitExists;
        }
    }
    fileio::Placement out;
    if (!o.testOnly) {
        if (const int error = out.create(o.dirFd, name); error != 0)
            return writeFailed(o, name, error);
    }

    auto sealed = std::make_unique_for_overwrite<std::uint8_t[]>(kChunksPerBlock * kSealedChunk);
    auto plain = std::make_unique_for_overwrite<std::uint8_t[]>(kChunksPerBlock * kChunkSize);
    const std::uint64_t end = p.trailer.payloadOffset + p.trailer.payloadSize;
    std::uint64_t written = 0;
    while (at < end) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(kChunksPerBlock * kSealedChunk, end - at));
        if (!readAt(p.fd.get(), sealed.get(), n, at)) {
            say(stderr, text(Msg::readFailed), p.path.c_str(), strerror(errno));
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
            if (!fileio::writeAll(out.fd(), plain.get(), plainBytes))
                return writeFailed(o, name, errno);
            // Start writeback of this block, so the closing fsync finds little left to do.
            ::sync_file_range(out.fd(), static_cast<off64_t>(written),
                              static_cast<off64_t>(plainBytes), SYNC_FILE_RANGE_WRITE);
        }
        written += plainBytes;
        at += n;
    }
    if (!final || written != meta.size) return parseFailure(ParseError::damaged, p.path.c_str());

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
    if (const int rc = out.place(o.force ? Existing::replace : Existing::keep); rc != 0) {
        if (rc == EEXIST) {
            say(stderr, text(Msg::exists), (o.dirPath + "/" + shown(name)).c_str());
            return kExitExists;
        }
        return writeFailed(o, name, rc);
    }
    say(stdout, text(Msg::restored), (o.dirPath + "/" + shown(name)).c_str());
    return kExitOk;
}

void removePartialOutput() {
    fileio::removeNamedTemporaries();
}

}  // namespace dozo::rivo
