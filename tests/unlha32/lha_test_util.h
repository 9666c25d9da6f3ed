#pragma once
// Helpers shared by the encoder and writer tests: temporary folders, file
// contents, and reading archives back through libarchive.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "lha/archive_writer.h"

namespace lhatest {

using Bytes = std::vector<std::uint8_t>;

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

Bytes readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const Bytes& data);

// Deterministic sample data.
Bytes textData(std::size_t size, std::uint32_t seed = 1);
Bytes binaryData(std::size_t size, std::uint32_t seed = 1);  // hard to compress
Bytes ffRichData(std::size_t size);

struct ReadEntry {
    std::string path;  // as libarchive reports it (UTF-8 when the charset is known)
    bool directory = false;
    std::uint32_t mode = 0;
    std::int64_t mtime = 0;
    Bytes data;
};

// Reads every entry of an LHA archive held in memory; fails the current test
// (and returns what it got so far) on any libarchive error.
std::vector<ReadEntry> readArchive(const Bytes& archive, const char* hdrcharset = "CP932");

// The raw compressed stream wrapped in a one-entry archive, for decoding by libarchive.
Bytes wrapRaw(const Bytes& packed, const Bytes& original, unlha::Method method);

// Archive holding `data` as "f.bin", written through ArchiveWriter.
Bytes archiveOf(const Bytes& data, unlha::Method method, unlha::Method* used = nullptr);

}  // namespace lhatest
