#pragma once
// Helpers shared by the encoder and writer tests: sample data and reading
// archives back through libarchive.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "files.h"
#include "temp_dir.h"
#include "writing/lha/archive_writer.h"

namespace lhatest {

using dozo::test::Bytes;
using dozo::test::readFile;
using dozo::test::TempDir;
using dozo::test::writeFile;

// Deterministic sample data.
Bytes textData(std::size_t size, std::uint32_t seed = 1);
inline Bytes binaryData(std::size_t size, std::uint32_t seed = 1) {  // hard to compress
    return dozo::test::randomBytes(size, seed);
}
Bytes ffRichData(std::size_t size);
// Bytes from an alphabet with gaps of 1 to 16, 19 to 21 and 40 between its
// values: the literal table's zero runs take every form its coder may use.
Bytes gappedData(std::size_t size);
// Compressible and mixed: text, noise, runs of one byte, gapped bytes, copies
// of earlier pieces, and units of noise repeated at periods just inside, at
// and just past each method's dictionary. Mostly long repeats, which are
// quick to compress, so that many megabytes cost little.
Bytes mixedData(std::size_t size, std::uint32_t seed = 1);

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

// A memory file holding data, its offset at the start; and all a descriptor holds.
int memfdWith(const Bytes& data);
Bytes contents(int fd);

// A method and level as a test's name: "lh5_max".
std::string methodAndLevel(unlha::Method method, unlha::Level level);

// Archive holding `data` as "f.bin", written through ArchiveWriter.
Bytes archiveOf(const Bytes& data, unlha::Method method, unlha::Method* used = nullptr,
                unlha::Level level = unlha::Level::normal);

}  // namespace lhatest
