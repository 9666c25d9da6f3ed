// Encoder round trip. The first byte picks the method (its value mod 4) and
// the level (the next bit), the rest is the file.
// Every method must give the same bytes twice, and libarchive must restore the
// input exactly, both from the raw compressed stream and from a whole archive
// written by ArchiveWriter (which may fall back to storing, and which decodes
// what it compressed itself). This build cuts large files into segments of
// UNLHA_SEGMENT_BYTES (set in CMakeLists.txt), so that inputs of a few
// kilobytes take the segmented path too, with one thread and with three.
#include <archive.h>
#include <archive_entry.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "writing/lha/archive_writer.h"
#include "writing/lha/crc16.h"
#include "writing/lha/encoder.h"
#include "writing/lha/header.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "encoder round trip: %s\n", what);
    std::abort();
}

// The single entry of an in-memory archive, or abort.
Bytes readBack(const Bytes& archive) {
    struct archive* a = archive_read_new();
    archive_read_support_format_lha(a);
    if (archive_read_open_memory(a, archive.data(), archive.size()) != ARCHIVE_OK) die("open");
    struct archive_entry* e;
    if (archive_read_next_header(a, &e) != ARCHIVE_OK) die(archive_error_string(a));
    Bytes out;
    const void* buf;
    size_t len;
    la_int64_t off;
    int r;
    while ((r = archive_read_data_block(a, &buf, &len, &off)) == ARCHIVE_OK)
        out.insert(out.end(), static_cast<const std::uint8_t*>(buf),
                   static_cast<const std::uint8_t*>(buf) + len);
    if (r != ARCHIVE_EOF) die(archive_error_string(a));
    if (archive_read_next_header(a, &e) != ARCHIVE_EOF) die("more than one entry");
    archive_read_free(a);
    return out;
}

Bytes rawArchive(std::span<const std::uint8_t> input, unlha::Method m, const Bytes& packed) {
    const unlha::EntryInfo entry{"f", false, 0100644, 0, 0, 0};
    unlha::StoredName name;
    std::string error;
    if (!unlha::makeStoredName(entry, &name, &error)) die("name");
    Bytes a = unlha::buildHeader(
        entry, name, {unlha::params(m).id, packed.size(), input.size(), unlha::crc16(0, input)});
    a.insert(a.end(), packed.begin(), packed.end());
    a.push_back(0);
    return a;
}

Bytes viaWriter(std::span<const std::uint8_t> input, unlha::Method m, unlha::Level level,
                int threads) {
    const int in = ::memfd_create("in", 0);
    const int out = ::memfd_create("out", 0);
    if (in < 0 || out < 0) die("memfd");
    if (!input.empty() &&
        ::write(in, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        die("write input");
    ::lseek(in, 0, SEEK_SET);
    unlha::ArchiveWriter w(out);
    w.setLevel(level);
    w.setThreads(threads);
    if (!w.addFile({"f", false, 0100644, 0, 0, 0}, in, static_cast<std::int64_t>(input.size()),
                   m) ||
        !w.finish())
        die(w.error().c_str());
    Bytes a(static_cast<std::size_t>(::lseek(out, 0, SEEK_END)));
    if (::pread(out, a.data(), a.size(), 0) != static_cast<ssize_t>(a.size())) die("read archive");
    ::close(in);
    ::close(out);
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > (1 << 20)) return 0;
    const auto m = static_cast<unlha::Method>(data[0] % 4);
    const auto level = data[0] & 4 ? unlha::Level::max : unlha::Level::normal;
    const std::span<const std::uint8_t> input(data + 1, size - 1);

    if (m != unlha::Method::lh0) {
        const Bytes packed = unlha::compress(input, m, level);
        if (unlha::compress(input, m, level) != packed) die("compress is not deterministic");
        if (!input.empty() &&
            readBack(rawArchive(input, m, packed)) != Bytes(input.begin(), input.end()))
            die("raw stream does not decode to the input");
    }
    const Bytes archive = viaWriter(input, m, level, 1);
    if (viaWriter(input, m, level, 3) != archive) die("archive depends on the threads");
    if (readBack(archive) != Bytes(input.begin(), input.end()))
        die("archive does not restore the input");
    return 0;
}
