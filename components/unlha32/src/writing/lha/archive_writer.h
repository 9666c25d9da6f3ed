#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "writing/lha/method.h"

namespace unlha {

struct EntryInfo {
    std::string name;  // relative, '/'-separated, as the file system gives it; no trailing '/'
    bool directory = false;
    std::uint32_t mode = 0;  // st_mode (type and permission bits)
    std::int64_t mtime = 0;  // seconds since the epoch
    std::uint32_t uid = 0, gid = 0;
};

struct EncoderMemory;

// Whether `size` bytes of inputFd from inputStart are worth compressing with
// `method`: a few pieces spread over them, each a dictionary's length and a
// little more, must shrink when compressed alone. Inputs too small to be
// sampled cheaply are always worth trying. Reads with pread only; a read
// error answers true (compressing then reports it).
bool worthCompressing(int inputFd, std::int64_t inputStart, std::int64_t size, Method method,
                      EncoderMemory& memory, std::vector<std::uint8_t>& buffer);

// Writes an LHA archive (level-2 headers) to a seekable file descriptor opened
// for writing by the caller; the writer never closes it. Entries start at the
// descriptor's offset when the writer is made.
class ArchiveWriter {
public:
    explicit ArchiveWriter(int fd);
    ~ArchiveWriter();

    // Compresses `size` bytes read from inputFd (a regular file, read from its
    // current offset) with `method`; stores -lh0- when compression does not
    // shrink the data. Compressed data is decoded before the call returns:
    // when it does not give back what was read (length and CRC), the call
    // fails with miscoded() set.
    bool addFile(const EntryInfo& entry, int inputFd, std::int64_t size, Method method);
    // Adds files as addFile would one after another, to the same bytes; runs
    // of files under 2 MiB are compressed on several cores at once, a file
    // to a core, and written together. On failure *failed is the index of
    // the file that failed; the ones before it are in the archive.
    struct FileInput {
        EntryInfo entry;
        int fd;  // read from its current offset, like addFile's
        std::int64_t size;
    };
    bool addFiles(std::span<const FileInput> files, Method method, std::size_t* failed);
    // How many files addFiles compresses at once, and how many segments of a
    // large file; the machine's cores (at most four) unless set. The
    // archive's bytes never depend on it.
    void setThreads(int threads) { threads_ = std::max(1, threads); }
    // The level every file is compressed at; normal unless set.
    void setLevel(Level level) { level_ = level; }
    // Hears how many bytes of the file addFile is taking are done, as they
    // are read or compressed; for a large file, so that its progress shows.
    // Answering false stops the file there: addFile fails, error() empty.
    using InputDone = std::function<bool(std::int64_t bytes)>;
    void setInputDone(InputDone inputDone) { inputDone_ = std::move(inputDone); }
    bool addDirectory(const EntryInfo& entry);
    // Appends bytes that are already archive: a kept entry's header and
    // packed data, copied from another archive unchanged.
    bool addRaw(std::span<const std::uint8_t> bytes);
    bool finish();  // end-of-archive mark
    const std::string& error() const { return error_; }
    // What the last failure was about, and the system's errno (0 for none).
    // `miscoded` is ours: compressed data, decoded before it counted as
    // written, did not give back the input (error() says how).
    enum class Failed { archive, input, name, miscoded };
    Failed failed() const { return failed_; }
    int systemError() const { return systemError_; }

    // Method actually used for the last file added (lh0 after a fallback).
    Method lastMethod() const { return lastMethod_; }

private:
    bool fail(std::string message, Failed what = Failed::archive, int error = 0);
    bool writeAll(std::span<const std::uint8_t> bytes);
    bool writeAt(std::int64_t offset, std::span<const std::uint8_t> bytes);
    // Both write the compressed data at the current end and return false when
    // it would not be smaller than the input (error() stays empty then).
    bool compressWhole(int inputFd, std::int64_t inputStart, std::int64_t size, Method method,
                       std::uint16_t* crc);
    bool compressSegments(int inputFd, std::int64_t inputStart, std::int64_t size, Method method,
                          std::uint16_t* crc);
    bool addWholeFiles(std::span<const FileInput> files, Method method, std::size_t* failed);
    bool copyStored(int inputFd, std::int64_t inputStart, std::int64_t size, std::uint16_t* crc);
    // Feeds the input to `consume` in chunks, keeping its CRC. False on a read
    // error (error() says why) or as soon as `consume` refuses.
    using Consume = std::function<bool(std::span<const std::uint8_t>)>;
    bool readInput(int inputFd, std::int64_t inputStart, std::int64_t size, std::uint16_t* crc,
                   const Consume& consume);

    int fd_;
    std::int64_t offset_ = 0;  // where the next entry goes
    std::string error_;
    Failed failed_ = Failed::archive;
    int systemError_ = 0;
    Method lastMethod_ = Method::lh0;
    bool finished_ = false;
    int threads_;
    Level level_ = Level::normal;
    InputDone inputDone_;
    // Buffers for compressing, kept from one file to the next.
    struct Workspace;
    std::unique_ptr<Workspace> work_;
};

}  // namespace unlha
