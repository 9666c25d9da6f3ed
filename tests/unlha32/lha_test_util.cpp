#include "lha_test_util.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <random>

#include "writing/lha/crc16.h"

namespace fs = std::filesystem;

namespace lhatest {

Bytes textData(std::size_t size, std::uint32_t seed) {
    static const char* words[] = {"the ",   "archive ", "header ", "of ",      "data ",  "level ",
                                  "two ",   "\n",       "window ", "huffman ", "block ", "and ",
                                  "match ", "code ",    "file, ",  "日本語 ",  "圧縮 ",  "name. "};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const char* w = words[rng() % std::size(words)];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(size);
    return out;
}

Bytes ffRichData(std::size_t size) {
    Bytes out(size);
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = (rng() % 4) ? 0xFF : static_cast<std::uint8_t>(i * 31);
    return out;
}

Bytes gappedData(std::size_t size) {
    Bytes alphabet{0};
    for (const int gap : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 19, 20, 21, 40})
        alphabet.push_back(static_cast<std::uint8_t>(alphabet.back() + gap));
    std::mt19937 rng(11);
    Bytes out(size);
    for (auto& b : out) b = alphabet[rng() % alphabet.size()];
    return out;
}

Bytes mixedData(std::size_t size, std::uint32_t seed) {
    // The distance of a repeat is its period: the largest each method may
    // reach is its dictionary less one.
    static constexpr std::size_t kPeriods[] = {8191,  8192,  8193,  32767, 32768,
                                               32769, 65535, 65536, 65537};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + (1 << 18));
    const auto append = [&out](const Bytes& piece) {
        out.insert(out.end(), piece.begin(), piece.end());
    };
    for (int section = 0; out.size() < size; ++section) {
        switch (section % 6) {
            case 0:
                append(textData(2000 + rng() % 30000, rng()));
                break;
            case 1:
                append(binaryData(100 + rng() % 8000, rng()));
                break;
            case 2: {
                const Bytes unit = binaryData(kPeriods[rng() % std::size(kPeriods)], rng());
                for (std::size_t copies = 2 + rng() % 2; copies > 0; --copies) append(unit);
                append(Bytes(unit.begin(), unit.begin() + static_cast<long>(rng() % 300)));
                break;
            }
            case 3:
                out.insert(out.end(), 10 + rng() % 60000, static_cast<std::uint8_t>(rng()));
                break;
            case 4: {
                const std::size_t length = std::min<std::size_t>(300 + rng() % 5000, out.size());
                const std::size_t from = rng() % (out.size() - length + 1);
                out.insert(out.end(), out.begin() + static_cast<long>(from),
                           out.begin() + static_cast<long>(from + length));
                break;
            }
            default:
                append(gappedData(1000 + rng() % 3000));
                break;
        }
    }
    out.resize(size);
    return out;
}

std::vector<ReadEntry> readArchive(const Bytes& archive, const char* hdrcharset) {
    // libarchive converts names to the locale's charset; the test runner's
    // default "C" locale holds no Japanese.
    static const bool utf8Locale = std::setlocale(LC_ALL, "C.UTF-8") != nullptr;
    EXPECT_TRUE(utf8Locale);
    std::vector<ReadEntry> entries;
    struct archive* a = archive_read_new();
    archive_read_support_format_lha(a);
    if (hdrcharset) {
        const std::string opt = std::string("lha:hdrcharset=") + hdrcharset;
        archive_read_set_options(a, opt.c_str());
    }
    EXPECT_EQ(archive_read_open_memory(a, archive.data(), archive.size()), ARCHIVE_OK)
        << archive_error_string(a);
    struct archive_entry* e;
    int r;
    while ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK) {
        ReadEntry out;
        const char* p = archive_entry_pathname_utf8(e);
        if (!p) p = archive_entry_pathname(e);
        out.path = p ? p : "";
        out.directory = archive_entry_filetype(e) == AE_IFDIR;
        out.mode = archive_entry_mode(e);
        out.mtime = archive_entry_mtime(e);
        const void* buf;
        size_t len;
        la_int64_t off;
        int d;
        while ((d = archive_read_data_block(a, &buf, &len, &off)) == ARCHIVE_OK) {
            const auto* b = static_cast<const std::uint8_t*>(buf);
            out.data.insert(out.data.end(), b, b + len);
        }
        EXPECT_EQ(d, ARCHIVE_EOF) << out.path << ": " << archive_error_string(a);
        entries.push_back(std::move(out));
        if (d != ARCHIVE_EOF) break;
    }
    EXPECT_TRUE(r == ARCHIVE_EOF || r == ARCHIVE_OK) << archive_error_string(a);
    archive_read_free(a);
    return entries;
}

int memfdWith(const Bytes& data) {
    const int fd = ::memfd_create("lhatest", 0);
    EXPECT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

Bytes contents(int fd) {
    Bytes out(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)));
    EXPECT_EQ(::pread(fd, out.data(), out.size(), 0), static_cast<ssize_t>(out.size()));
    return out;
}

std::string methodAndLevel(unlha::Method method, unlha::Level level) {
    return std::string(unlha::params(method).id).substr(1, 3) +
           (level == unlha::Level::max ? "_max" : "_normal");
}

Bytes archiveOf(const Bytes& data, unlha::Method method, unlha::Method* used, unlha::Level level) {
    const int fd = memfdWith({});
    const int in = memfdWith(data);
    {
        unlha::ArchiveWriter w(fd);
        w.setLevel(level);
        unlha::EntryInfo e{"f.bin", false, 0100644, 1700000000, 0, 0};
        EXPECT_TRUE(w.addFile(e, in, static_cast<std::int64_t>(data.size()), method)) << w.error();
        if (used) *used = w.lastMethod();
        EXPECT_TRUE(w.finish()) << w.error();
    }
    const Bytes out = contents(fd);
    ::close(in);
    ::close(fd);
    return out;
}

Bytes wrapRaw(const Bytes& packed, const Bytes& original, unlha::Method method) {
    // A minimal level-0 header is enough for libarchive to run the decoder.
    const std::string name = "raw";
    Bytes h(22 + name.size() + 2);
    h[0] = static_cast<std::uint8_t>(h.size() - 2);
    std::memcpy(&h[2], unlha::params(method).id, 5);
    auto le32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    le32(7, static_cast<std::uint32_t>(packed.size()));
    le32(11, static_cast<std::uint32_t>(original.size()));
    le32(15, 0x00210000);  // 1980-01-01 in MS-DOS time
    h[19] = 0x20;
    h[20] = 0;
    h[21] = static_cast<std::uint8_t>(name.size());
    std::memcpy(&h[22], name.data(), name.size());
    const std::uint16_t crc = unlha::crc16(0, original);
    h[22 + name.size()] = static_cast<std::uint8_t>(crc);
    h[23 + name.size()] = static_cast<std::uint8_t>(crc >> 8);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i) sum += h[i];
    h[1] = sum;
    h.resize(h.size() + packed.size() + 1);
    std::copy(packed.begin(), packed.end(),
              h.end() - 1 - static_cast<std::ptrdiff_t>(packed.size()));
    h.back() = 0;
    return h;
}

}  // namespace lhatest
