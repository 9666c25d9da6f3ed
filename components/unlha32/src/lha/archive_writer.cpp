#include "lha/archive_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lha/crc16.h"
#include "lha/encoder.h"
#include "lha/header.h"

namespace unlha {
namespace {

constexpr std::size_t kChunk = 1 << 18;

std::string sysError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

ArchiveWriter::ArchiveWriter(int fd) : fd_(fd) {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    offset_ = at < 0 ? 0 : at;
    if (at < 0) error_ = sysError("archive is not seekable");
}

bool ArchiveWriter::fail(std::string message) {
    error_ = std::move(message);
    return false;
}

bool ArchiveWriter::writeAt(std::int64_t offset, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(sysError("cannot write archive"));
        bytes = bytes.subspan(n);
        offset += n;
    }
    return true;
}

bool ArchiveWriter::writeAll(std::span<const std::uint8_t> bytes) {
    if (!writeAt(offset_, bytes)) return false;
    offset_ += static_cast<std::int64_t>(bytes.size());
    return true;
}

bool ArchiveWriter::copyStored(int inputFd, std::int64_t inputStart, std::int64_t size,
                               std::uint16_t* crc) {
    std::vector<std::uint8_t> chunk(kChunk);
    std::int64_t done = 0;
    *crc = 0;
    while (done < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(kChunk, size - done));
        const ssize_t n = ::pread(inputFd, chunk.data(), want, inputStart + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(sysError("cannot read input"));
        if (n == 0) return fail("input file shrank while being archived");
        const auto got = std::span<const std::uint8_t>(chunk).first(n);
        *crc = crc16(*crc, got);
        if (!writeAll(got)) return false;
        done += n;
    }
    return true;
}

bool ArchiveWriter::addDirectory(const EntryInfo& entry) {
    if (finished_) return fail("archive already finished");
    EntryInfo dir = entry;
    dir.directory = true;
    StoredName name;
    if (!makeStoredName(dir, &name, &error_)) return false;
    const auto header = buildHeader(dir, name, {"-lhd-", 0, 0, 0});
    if (header.size() > 0xFFFF) return fail("name too long for an LHA header: " + entry.name);
    return writeAll(header);
}

bool ArchiveWriter::addFile(const EntryInfo& entry, int inputFd, std::int64_t size, Method method) {
    if (finished_) return fail("archive already finished");
    if (size < 0) return fail("negative file size for " + entry.name);
    EntryInfo file = entry;
    file.directory = false;
    StoredName name;
    if (!makeStoredName(file, &name, &error_)) return false;

    const std::uint64_t usize = static_cast<std::uint64_t>(size);
    const std::int64_t headerAt = offset_;
    auto header = buildHeader(file, name, {params(method).id, 0, usize, 0});
    if (header.size() > 0xFFFF) return fail("name too long for an LHA header: " + entry.name);
    if (!writeAll(header)) return false;
    const std::int64_t dataAt = offset_;

    const off_t inputStart = ::lseek(inputFd, 0, SEEK_CUR);
    if (inputStart < 0) return fail(sysError("input is not seekable"));

    std::uint16_t crc = 0;
    bool stored = method == Method::lh0 || size == 0;
    if (!stored) {
        // Compressed output that reaches the input size is abandoned at once:
        // the data is then stored, so a file never grows by more than its header.
        bool tooBig = false;
        bool writeFailed = false;
        Encoder enc(method, [&](std::span<const std::uint8_t> bytes) {
            if (static_cast<std::int64_t>(offset_ - dataAt + bytes.size()) >= size) {
                tooBig = true;
                return false;
            }
            if (!writeAll(bytes)) {
                writeFailed = true;
                return false;
            }
            return true;
        });
        std::vector<std::uint8_t> chunk(kChunk);
        std::int64_t done = 0;
        while (done < size && !tooBig) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::int64_t>(kChunk, size - done));
            const ssize_t n = ::pread(inputFd, chunk.data(), want, inputStart + done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return fail(sysError("cannot read input"));
            if (n == 0) return fail("input file shrank while being archived: " + entry.name);
            const auto got = std::span<const std::uint8_t>(chunk).first(n);
            crc = crc16(crc, got);
            enc.write(got);
            if (writeFailed) return false;
            done += n;
        }
        if (!tooBig) enc.finish();
        if (writeFailed) return false;
        if (tooBig) {
            stored = true;
            offset_ = dataAt;
        }
    }
    if (stored) {
        method = Method::lh0;
        if (!copyStored(inputFd, inputStart, size, &crc)) return false;
    }
    const std::uint64_t packed = static_cast<std::uint64_t>(offset_ - dataAt);
    header = buildHeader(file, name, {params(method).id, packed, usize, crc});
    if (!writeAt(headerAt, header)) return false;
    // Leaves the input where a sequential reader would expect it.
    ::lseek(inputFd, inputStart + size, SEEK_SET);
    lastMethod_ = method;
    return true;
}

bool ArchiveWriter::finish() {
    if (finished_) return true;
    const std::uint8_t end = 0;
    if (!writeAll({&end, 1})) return false;
    // Bytes past our end (a descriptor opened without O_TRUNC) are not archive.
    if (::ftruncate(fd_, offset_) != 0) {
        struct stat st;
        if (::fstat(fd_, &st) != 0 || S_ISREG(st.st_mode))
            return fail(sysError("cannot truncate archive"));
    }
    if (::lseek(fd_, offset_, SEEK_SET) < 0) return fail(sysError("cannot seek archive"));
    finished_ = true;
    return true;
}

}  // namespace unlha
