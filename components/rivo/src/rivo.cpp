#include "rivo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "crypto.h"
#include "dozo/fileio/by_thread.h"
#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "format.h"
#include "stub_blob.h"

namespace dozo::rivo {
namespace {

#ifdef DOZO_RIVO_CHEAP_KEY_COST
// The library the test suites build for themselves: the cheapest cost a
// package accepts, so a suite does not spend a second per package. Such
// packages are weak; this library is never installed.
constexpr std::uint32_t kOpsDefault = kOpsMin;
constexpr std::uint32_t kMemKibDefault = 8 * 1024;
#else
// Argon2id cost of every package: 3 passes over 256 MiB. Fixed at build
// time: nothing a caller or its environment sets can lower it.
constexpr std::uint32_t kOpsDefault = 3;
constexpr std::uint32_t kMemKibDefault = 256 * 1024;
#endif
static_assert(kOpsDefault * std::uint64_t{kMemKibDefault} <= kWorkKibMax);

// Chunks sealed per read, so reads and writes stay large while every
// message stays one chunk.
constexpr std::size_t kChunksPerBlock = 16;

// The progress callback each thread registered.
struct Follower {
    RivoProgressCallback* callback = nullptr;
    void* context = nullptr;
    bool operator==(const Follower&) const = default;
};
fileio::ByThread<Follower> followers;

// Tells the caller's callback where a call stands; false once it asks to stop.
class Progress {
public:
    explicit Progress(std::uint64_t total) : follower_(followers.mine()), total_(total) {}
    bool tell(std::uint64_t done) const {
        return follower_.callback == nullptr ||
               follower_.callback(follower_.context, static_cast<long long>(done),
                                  static_cast<long long>(total_)) == 0;
    }

private:
    Follower follower_;
    std::uint64_t total_;
};

// A package is a new program at its name, not a new version of whatever was
// there: it never takes over an old file's owner or set-id bits, and it is
// written beside the name and swapped in only when complete. What is there
// must be a file the caller may replace: a folder, or a file without any
// write bit (read-only, as on the desktop systems our users come from), is
// refused before anything is written.
int openDestination(const char* path, fileio::Placement& out) {
    struct stat st {};
    if (::stat(path, &st) == 0 &&
        (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(path, W_OK) != 0))
        return RIVO_E_DESTINATION;
    const std::string destination = path;
    const auto slash = destination.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : destination.substr(0, slash);
    const std::string name =
        slash == std::string::npos ? destination : destination.substr(slash + 1);
    if (name.empty()) return RIVO_E_DESTINATION;
    const fileio::Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The mode of any new program of the caller's: 0777 under the umask, which
    // the kernel applies as it creates the file (a umask read once and kept
    // would be stale in a process that changes it).
    if (dirFd.get() < 0 || out.create(dirFd.get(), name, {.mode = 0777}) != 0)
        return RIVO_E_DESTINATION;
    return RIVO_OK;
}

int write(fileio::Placement& out, const void* data, std::size_t n) {
    return fileio::writeAll(out.fd(), data, n) ? RIVO_OK : RIVO_E_WRITE;
}

int commit(fileio::Placement& out) {
    if (out.flush() != 0) return RIVO_E_WRITE;
    return out.place(fileio::Placement::Existing::replace) == 0 ? RIVO_OK : RIVO_E_REPLACE;
}

// Opens only a regular file; O_NONBLOCK keeps a FIFO from hanging the call.
int openSource(const char* path, struct stat& st) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

std::string baseName(const char* path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const auto slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

int checkPassword(const char* password) {
    if (password == nullptr || *password == '\0') return RIVO_E_PASSWORD;
    const std::size_t n = std::strlen(password);
    // Every way the stub reads a password ends at a newline.
    if (n > RIVO_PASSWORD_MAX || std::memchr(password, '\n', n) != nullptr) return RIVO_E_PASSWORD;
    return RIVO_OK;
}

int writePackage(const char* sourcePath, const char* destinationPath, const char* password) {
    struct stat st {};
    fileio::Fd source(openSource(sourcePath, st));
    if (source.get() < 0) return RIVO_E_SOURCE;

    Metadata meta;
    meta.size = static_cast<std::uint64_t>(st.st_size);
    meta.mtimeSec = st.st_mtim.tv_sec;
    meta.mtimeNsec = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
    meta.mode = st.st_mode & 07777;
    meta.name = baseName(sourcePath);
    std::uint8_t metaPlain[kMetadataSize];
    if (!encodeMetadata(meta, metaPlain)) return RIVO_E_SOURCE;

    Header h;
    h.opslimit = kOpsDefault;
    h.memlimitKib = kMemKibDefault;
    h.stubSize = stubSize();
    h.sealedSize = sealedSizeFor(meta.size);
    // The destination first: a folder that takes no file should not cost a
    // second of key derivation.
    fileio::Placement out;
    if (int rc = openDestination(destinationPath, out); rc != RIVO_OK) return rc;
    // Let the disk fetch the start of the source while Argon2 keeps the CPU busy.
    ::posix_fadvise(source.get(), 0, 64 << 20, POSIX_FADV_WILLNEED);
    // The key derivation is one call of about a second: a stop is honoured
    // before and after it, and after each block sealed.
    const Progress progress(meta.size);
    if (!progress.tell(0)) return RIVO_E_CANCELLED;
    Keys keys;
    if (!keys.valid()) return RIVO_E_CRYPTO;
    randombytes_buf(h.salt, sizeof h.salt);
    if (!keys.derive(password, std::strlen(password), h)) return RIVO_E_CRYPTO;
    if (!progress.tell(0)) return RIVO_E_CANCELLED;
    Sealer sealer;
    if (!sealer.start(keys, h)) return RIVO_E_CRYPTO;

    std::uint8_t header[kHeaderSize];
    encodeHeader(h, header);
    std::uint8_t metaSealed[kSealedMetadataSize];
    sealer.seal(metaPlain, kMetadataSize, header, kHeaderSize, meta.size == 0, metaSealed);

    int rc = write(out, dozo_rivo_stub_begin, stubSize());
    if (rc == RIVO_OK) rc = write(out, header, kHeaderSize);
    if (rc == RIVO_OK) rc = write(out, metaSealed, kSealedMetadataSize);
    if (rc != RIVO_OK) return rc;

    constexpr std::size_t blockSize = kChunksPerBlock * kChunkSize;
    auto plain = std::make_unique_for_overwrite<std::uint8_t[]>(blockSize);
    auto sealed = std::make_unique_for_overwrite<std::uint8_t[]>(kChunksPerBlock *
                                                                 (kChunkSize + kTagOverhead));
    std::uint64_t packageBytes = stubSize() + kHeaderSize + kSealedMetadataSize;
    for (std::uint64_t offset = 0; offset < meta.size;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, meta.size - offset));
        // A short read means the file shrank under us: as much a read error as EIO.
        if (!fileio::readExact(source.get(), plain.get(), n, static_cast<off_t>(offset)))
            return RIVO_E_READ;
        std::size_t sealedBytes = 0;
        for (std::size_t at = 0; at < n; at += kChunkSize) {
            const std::size_t len = std::min<std::size_t>(kChunkSize, n - at);
            const bool last = offset + at + len == meta.size;
            sealer.seal(plain.get() + at, len, nullptr, 0, last, sealed.get() + sealedBytes);
            sealedBytes += len + kTagOverhead;
        }
        if (rc = write(out, sealed.get(), sealedBytes); rc != RIVO_OK) return rc;
        // Start writeback of what this block added, so the closing fsync
        // finds little left to do.
        ::sync_file_range(out.fd(), static_cast<off64_t>(packageBytes),
                          static_cast<off64_t>(sealedBytes), SYNC_FILE_RANGE_WRITE);
        packageBytes += sealedBytes;
        offset += n;
        if (!progress.tell(offset)) return RIVO_E_CANCELLED;
    }
    // A file written to while we read it would be packed as a mix of two
    // versions; refuse rather than pass that off as the user's file.
    struct stat after {};
    if (::fstat(source.get(), &after) != 0 || after.st_size != st.st_size ||
        after.st_mtim.tv_sec != st.st_mtim.tv_sec || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return RIVO_E_READ;

    Trailer t{h.stubSize, kHeaderSize + h.sealedSize};
    std::uint8_t trailer[kTrailerSize];
    encodeTrailer(t, trailer);
    if (rc = write(out, trailer, kTrailerSize); rc != RIVO_OK) return rc;
    return commit(out);
}

}  // namespace
}  // namespace dozo::rivo

extern "C" int rivo(void* ownerWindow, const char* sourcePath, const char* destinationPath,
                    const char* password) {
    (void)ownerWindow;
    if (sourcePath == nullptr || *sourcePath == '\0' || destinationPath == nullptr ||
        *destinationPath == '\0')
        return RIVO_E_ARGUMENT;
    if (int rc = dozo::rivo::checkPassword(password); rc != RIVO_OK) return rc;
    return dozo::rivo::writePackage(sourcePath, destinationPath, password);
}

extern "C" void rivoSetProgress(RivoProgressCallback* callback, void* context) {
    dozo::rivo::followers.update([&](dozo::rivo::Follower& mine) {
        mine = {callback, callback != nullptr ? context : nullptr};
    });
}
