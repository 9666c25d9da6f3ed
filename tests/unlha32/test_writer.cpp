// ArchiveWriter: level-2 header layout, names, directories, the stored
// fallback and input handling. Archives are read back with libarchive and,
// where the layout itself matters, parsed byte by byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "lha_test_util.h"
#include "writing/lha/crc16.h"
#include "writing/lha/encoder.h"

using namespace lhatest;
using unlha::Method;

namespace {

struct Ext {
    std::uint8_t type;
    std::string data;
};

struct RawHeader {
    std::size_t size = 0;
    std::string method;
    std::uint32_t packed = 0, original = 0, mtime = 0;
    std::uint8_t attribute = 0, level = 0, os = 0;
    std::uint16_t crc = 0;
    std::vector<Ext> exts;
    bool headerCrcOk = false;

    const Ext* find(std::uint8_t type) const {
        for (const auto& e : exts)
            if (e.type == type) return &e;
        return nullptr;
    }
};

std::uint32_t le(const Bytes& b, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
}

// Level-2 headers as stored, in archive order; stops at the end mark.
std::vector<RawHeader> parseHeaders(const Bytes& a) {
    std::vector<RawHeader> out;
    std::size_t at = 0;
    while (at < a.size() && a[at] != 0) {
        RawHeader h;
        h.size = le(a, at, 2);
        EXPECT_LE(at + h.size, a.size());
        if (at + h.size > a.size()) break;
        h.method.assign(reinterpret_cast<const char*>(&a[at + 2]), 5);
        h.packed = le(a, at + 7, 4);
        h.original = le(a, at + 11, 4);
        h.mtime = le(a, at + 15, 4);
        h.attribute = a[at + 19];
        h.level = a[at + 20];
        h.crc = static_cast<std::uint16_t>(le(a, at + 21, 2));
        h.os = a[at + 23];
        std::size_t e = at + 24;
        Bytes copy(a.begin() + at, a.begin() + at + h.size);
        std::uint16_t stored = 0;
        for (std::size_t next = le(a, e, 2); next != 0; next = le(a, e, 2)) {
            EXPECT_GE(next, 3u);
            if (next < 3 || e + next > at + h.size) return out;
            Ext x{a[e + 2], std::string(reinterpret_cast<const char*>(&a[e + 3]), next - 3)};
            if (x.type == 0x00) {
                stored = static_cast<std::uint16_t>(le(a, e + 3, 2));
                copy[e + 3 - at] = copy[e + 4 - at] = 0;
            }
            h.exts.push_back(std::move(x));
            e += next;
        }
        EXPECT_EQ(e + 2, at + h.size) << "extended headers must fill the header exactly";
        h.headerCrcOk = unlha::crc16(0, copy) == stored;
        out.push_back(std::move(h));
        at += h.size + h.packed;
    }
    EXPECT_EQ(at + 1, a.size()) << "one end-of-archive byte after the last entry";
    return out;
}

class Writer : public ::testing::Test {
protected:
    void SetUp() override { fd_ = ::memfd_create("archive", 0); }
    void TearDown() override { ::close(fd_); }

    bool add(unlha::ArchiveWriter& w, const std::string& name, const Bytes& data,
             Method m = Method::lh5, std::uint32_t mode = 0100644) {
        const int in = memfdWith(data);
        const bool ok = w.addFile({name, false, mode, 1234567890, 1000, 100}, in,
                                  static_cast<std::int64_t>(data.size()), m);
        ::close(in);
        return ok;
    }

    // Ends the archive; all the descriptor holds.
    Bytes finish(unlha::ArchiveWriter& w) {
        EXPECT_TRUE(w.finish()) << w.error();
        return contents(fd_);
    }

    int fd_ = -1;
};

TEST_F(Writer, FileHeaderLayout) {
    unlha::ArchiveWriter w(fd_);
    const Bytes data = textData(50000);
    ASSERT_TRUE(add(w, "dir/sub/file.txt", data, Method::lh6, 0100640)) << w.error();
    const Bytes a = finish(w);
    const auto hs = parseHeaders(a);
    ASSERT_EQ(hs.size(), 1u);
    const RawHeader& h = hs[0];
    EXPECT_EQ(h.method, "-lh6-");
    EXPECT_EQ(h.level, 2);
    EXPECT_EQ(h.attribute, 0x20);
    EXPECT_EQ(h.os, 'U');
    EXPECT_EQ(h.original, data.size());
    EXPECT_LT(h.packed, data.size());
    EXPECT_EQ(h.mtime, 1234567890u);
    EXPECT_EQ(h.crc, unlha::crc16(0, data));
    EXPECT_TRUE(h.headerCrcOk);
    ASSERT_FALSE(h.exts.empty());
    EXPECT_EQ(h.exts[0].type, 0x00) << "header CRC comes first";
    const std::pair<std::uint8_t, std::string> records[] = {
        {0x01, "file.txt"},
        {0x02, "dir\xFFsub\xFF"},
        {0x50, "\xA0\x81"},                          // 0100640
        {0x51, std::string("\x64\x00\xE8\x03", 4)},  // gid then uid
    };
    for (const auto& [type, stored] : records) {
        ASSERT_TRUE(h.find(type)) << int(type);
        EXPECT_EQ(h.find(type)->data, stored) << int(type);
    }
    EXPECT_FALSE(h.find(0x46)) << "code page 932 names carry no code-page record";

    const auto entries = readArchive(a);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, "dir/sub/file.txt");
    EXPECT_EQ(entries[0].mode, 0100640u);
    EXPECT_EQ(entries[0].mtime, 1234567890);
    EXPECT_TRUE(entries[0].data == data);
}

TEST_F(Writer, NamesByCodePage) {
    struct Case {
        const char* name;
        std::string storedFile;  // bytes in the file-name record
        bool utf8;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt", false}, {"日本語.txt", "\x93\xFA\x96\x7B\x8C\xEA.txt", false},
        {"ｶﾅ.txt", "\xB6\xC5.txt", false},  // half-width katakana: single bytes
        {"x😀.txt", "x😀.txt", true},        {"Ünïcödé.txt", "Ünïcödé.txt", true},
    };
    unlha::ArchiveWriter w(fd_);
    for (const auto& c : cases) ASSERT_TRUE(add(w, std::string("d/") + c.name, {'x'})) << c.name;
    const Bytes a = finish(w);
    const auto hs = parseHeaders(a);
    const auto entries = readArchive(a);
    ASSERT_EQ(hs.size(), std::size(cases));
    ASSERT_EQ(entries.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(hs[i].find(0x01)->data, cases[i].storedFile);
        const Ext* cp = hs[i].find(0x46);
        EXPECT_EQ(cp != nullptr, cases[i].utf8);
        if (cp) {
            EXPECT_EQ(cp->data, std::string("\xE9\xFD\x00\x00", 4)) << "65001";
        }
        EXPECT_EQ(entries[i].path, std::string("d/") + cases[i].name);
    }
}

TEST_F(Writer, DirectoriesAndEmptyFiles) {
    unlha::ArchiveWriter w(fd_);
    ASSERT_TRUE(w.addDirectory({"top", true, 040755, 1000, 0, 0}));
    ASSERT_TRUE(w.addDirectory({"top/空", true, 040700, 2000, 0, 0}));
    ASSERT_TRUE(add(w, "top/empty", {}));
    const Bytes a = finish(w);
    const auto hs = parseHeaders(a);
    ASSERT_EQ(hs.size(), 3u);
    EXPECT_EQ(hs[0].method, "-lhd-");
    EXPECT_EQ(hs[0].find(0x02)->data, "top\xFF");
    EXPECT_EQ(hs[1].find(0x02)->data, "top\xFF\x8B\xF3\xFF");
    EXPECT_EQ(hs[0].packed + hs[0].original, 0u);
    EXPECT_EQ(hs[2].method, "-lh0-") << "an empty file is stored";
    EXPECT_EQ(hs[2].packed, 0u);
    const auto entries = readArchive(a);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].directory);
    EXPECT_EQ(entries[0].mode, 040755u);
    EXPECT_EQ(entries[1].mode, 040700u);
    EXPECT_EQ(entries[1].mtime, 2000);
    EXPECT_FALSE(entries[2].directory);
    EXPECT_TRUE(entries[2].data.empty());
}

TEST_F(Writer, StoresWhatDoesNotShrink) {
    struct Case {
        const char* name;
        Bytes data;
        Method asked, expected;
    };
    const Case cases[] = {
        {"random", binaryData(100000), Method::lh7, Method::lh0},
        {"tiny", {'a', 'b'}, Method::lh5, Method::lh0},
        {"text", textData(100000), Method::lh5, Method::lh5},
        {"forced_store", textData(5000), Method::lh0, Method::lh0},
    };
    unlha::ArchiveWriter w(fd_);
    for (const auto& c : cases) {
        ASSERT_TRUE(add(w, c.name, c.data, c.asked)) << w.error();
        EXPECT_EQ(w.lastMethod(), c.expected) << c.name;
    }
    const Bytes a = finish(w);
    const auto hs = parseHeaders(a);
    const auto entries = readArchive(a);
    ASSERT_EQ(entries.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(hs[i].method, unlha::params(cases[i].expected).id);
        if (cases[i].expected == Method::lh0) {
            EXPECT_EQ(hs[i].packed, cases[i].data.size());
        }
        EXPECT_TRUE(entries[i].data == cases[i].data);
    }
}

// Large input is sampled before it is compressed: what will not shrink is
// stored without compressing all of it, and what would shrink is not mistaken
// for noise, even when only its dictionary-distance repeats make it shrink.
TEST(Sampling, StoresOnlyWhatWillNotShrink) {
    auto interleaved = [](std::size_t block) {
        const Bytes noise = binaryData(4 << 20, 41), text = textData(4 << 20, 42);
        Bytes out;
        for (std::size_t at = 0; out.size() < (4u << 20); at += block) {
            out.insert(out.end(), noise.begin() + at, noise.begin() + at + block);
            out.insert(out.end(), text.begin() + at, text.begin() + at + block);
        }
        return out;
    };
    auto repeated = [](std::size_t period) {
        const Bytes noise = binaryData(period, 43);
        Bytes out;
        while (out.size() < (3u << 20)) out.insert(out.end(), noise.begin(), noise.end());
        return out;
    };
    struct Case {
        const char* name;
        Bytes data;
        Method method;
        bool worth;
    };
    const Case cases[] = {
        {"noise", binaryData(3 << 20, 44), Method::lh5, false},
        {"noise_lh7", binaryData(3 << 20, 45), Method::lh7, false},
        {"text", textData(3 << 20, 46), Method::lh6, true},
        {"half_noise", interleaved(4096), Method::lh5, true},
        {"noise_repeated_within_the_window", repeated(50000), Method::lh7, true},
        {"small_noise_is_tried", binaryData(200000, 47), Method::lh7, true},
    };
    unlha::EncoderMemory memory;
    Bytes buffer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int in = memfdWith(c.data);
        EXPECT_EQ(unlha::worthCompressing(in, 0, static_cast<std::int64_t>(c.data.size()), c.method,
                                          memory, buffer),
                  c.worth);
        ::close(in);
        if (c.worth && std::string(c.name) != "small_noise_is_tried") {
            Method used;
            archiveOf(c.data, c.method, &used);
            EXPECT_EQ(used, c.method) << "sampled as worth it, and it shrinks";
        }
    }
}

// Files added in runs, those under 2 MiB compressed on several threads, give
// the archive that adding them one by one gives, whatever the number of
// threads; a file that fails is named, and the ones before it are kept.
TEST_F(Writer, FilesAddedTogetherMatchOneByOne) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        files.emplace_back("t" + n + ".txt", textData(100 + 997 * i, i + 1));
        files.emplace_back("n" + n + ".bin", binaryData(i % 5 == 0 ? 3000 : 300, i + 1));
    }
    files.emplace_back("empty", Bytes{});
    files.emplace_back("medium.txt", textData(200000, 99));
    files.emplace_back("after.txt", textData(5000, 98));
    // Sampled as addFile samples them: the noise is stored, the text not.
    files.emplace_back("noise.bin", binaryData(1500000, 96));
    files.emplace_back("long.txt", textData(1400000, 95));
    files.emplace_back("segmented.txt", textData(2200000, 94));  // between runs
    files.emplace_back("last.txt", textData(700, 97));
    auto info = [](const std::string& name) {
        return unlha::EntryInfo{name, false, 0100644, 1234567890, 1000, 100};
    };
    auto inputs = [&](std::vector<int>& fds) {
        std::vector<unlha::ArchiveWriter::FileInput> in;
        for (const auto& [n, data] : files) {
            fds.push_back(memfdWith(data));
            in.push_back({info(n), fds.back(), static_cast<std::int64_t>(data.size())});
        }
        return in;
    };
    for (const auto& [m, level] : {std::pair{Method::lh5, unlha::Level::max},
                                   std::pair{Method::lh7, unlha::Level::normal}}) {
        SCOPED_TRACE(unlha::params(m).id);
        const int one = ::memfd_create("one", 0);
        {
            unlha::ArchiveWriter w(one);
            w.setLevel(level);
            for (const auto& [n, data] : files) {
                const int in = memfdWith(data);
                ASSERT_TRUE(w.addFile(info(n), in, static_cast<std::int64_t>(data.size()), m));
                ::close(in);
            }
            ASSERT_TRUE(w.finish());
        }
        const Bytes expected = contents(one);
        ::close(one);
        for (int threads : {1, 2, 4}) {
            SCOPED_TRACE(threads);
            const int fd = ::memfd_create("together", 0);
            std::vector<int> fds;
            unlha::ArchiveWriter w(fd);
            w.setThreads(threads);
            w.setLevel(level);
            std::size_t failed = 99;
            ASSERT_TRUE(w.addFiles(inputs(fds), m, &failed)) << w.error();
            ASSERT_TRUE(w.finish());
            EXPECT_TRUE(contents(fd) == expected);
            for (std::size_t i = 0; i < fds.size(); ++i)
                EXPECT_EQ(::lseek(fds[i], 0, SEEK_CUR), std::ssize(files[i].second));
            for (int f : fds) ::close(f);
            ::close(fd);
        }
    }
    // The fifth file is shorter than said: it is the one named.
    std::vector<int> fds;
    auto in = inputs(fds);
    in[4].size += 10;
    unlha::ArchiveWriter w(fd_);
    w.setThreads(2);
    std::size_t failed = 0;
    EXPECT_FALSE(w.addFiles(in, Method::lh5, &failed));
    EXPECT_EQ(failed, 4u);
    EXPECT_NE(w.error().find("shrank"), std::string::npos) << w.error();
    const auto entries = readArchive(finish(w));
    ASSERT_EQ(entries.size(), 4u);
    for (std::size_t i = 0; i < entries.size(); ++i)
        EXPECT_TRUE(entries[i].data == files[i].second) << files[i].first;
    for (int f : fds) ::close(f);
}

TEST_F(Writer, HeaderLengthNeverStartsWithTheEndMark) {
    // Name lengths sweep the header size across several multiples of 256.
    unlha::ArchiveWriter w(fd_);
    std::vector<std::string> names;
    for (int n = 1; n <= 600; n += 1)
        names.push_back(std::string(static_cast<std::size_t>(n), 'n'));
    for (const auto& n : names) ASSERT_TRUE(add(w, n, {'z'}, Method::lh0));
    const Bytes a = finish(w);
    const auto hs = parseHeaders(a);
    ASSERT_EQ(hs.size(), names.size());
    for (const auto& h : hs) EXPECT_NE(h.size & 0xFF, 0u);
    EXPECT_EQ(readArchive(a).size(), names.size());
}

TEST_F(Writer, RefusesBadNamesAndKeepsTheArchiveValid) {
    unlha::ArchiveWriter w(fd_);
    ASSERT_TRUE(add(w, "good", {'g'}));
    for (const char* bad : {"", "/abs", "a/../b", "..", "a//b", "./a", "dir/"}) {
        EXPECT_FALSE(add(w, bad, {'b'})) << bad;
        EXPECT_FALSE(w.error().empty());
        EXPECT_FALSE(w.addDirectory({bad, true, 040755, 0, 0, 0})) << bad;
    }
    EXPECT_FALSE(add(w, std::string(70000, 'x'), {'l'})) << "header length would overflow";
    const auto entries = readArchive(finish(w));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, "good");
}

TEST_F(Writer, ReadsFromTheCurrentOffsetAndLeavesItPastTheData) {
    const Bytes data = textData(40000);
    const int in = memfdWith(data);
    ::lseek(in, 1000, SEEK_SET);
    unlha::ArchiveWriter w(fd_);
    ASSERT_TRUE(w.addFile({"part", false, 0100644, 0, 0, 0}, in, 30000, Method::lh5));
    EXPECT_EQ(::lseek(in, 0, SEEK_CUR), 31000);
    EXPECT_FALSE(w.addFile({"toolong", false, 0100644, 0, 0, 0}, in, 20000, Method::lh5))
        << "only 9000 bytes remain";
    EXPECT_NE(w.error().find("shrank"), std::string::npos) << w.error();
    ::close(in);
}

TEST_F(Writer, AppendsAfterExistingBytesAndTruncatesStaleTail) {
    // The writer starts at the descriptor's offset and owns everything after it.
    const Bytes junk(5000, 0xAA);
    ASSERT_EQ(::write(fd_, junk.data(), junk.size()), 5000);
    ::lseek(fd_, 100, SEEK_SET);
    unlha::ArchiveWriter w(fd_);
    ASSERT_TRUE(add(w, "a", {'1', '2', '3'}));
    const Bytes all = finish(w);
    ASSERT_GT(all.size(), 100u);
    EXPECT_LT(all.size(), 200u);
    const Bytes a(all.begin() + 100, all.end());
    EXPECT_EQ(readArchive(a).size(), 1u);
    EXPECT_EQ(::lseek(fd_, 0, SEEK_CUR), static_cast<off_t>(all.size()));
}

// The writer keeps its buffers from file to file; nothing an earlier file left
// in them may change how a later one is compressed.
TEST_F(Writer, EarlierFilesDoNotChangeLaterOnes) {
    const Bytes first = binaryData(5 << 19, 31);
    const Bytes big = textData(5 << 19, 32);
    const Bytes small = textData(300000, 33);
    unlha::ArchiveWriter w(fd_);
    ASSERT_TRUE(add(w, "first.bin", first, Method::lh7)) << w.error();
    ASSERT_TRUE(add(w, "big.txt", big, Method::lh5)) << w.error();
    ASSERT_TRUE(add(w, "small.txt", small, Method::lh6)) << w.error();
    const Bytes all = finish(w);

    const int fresh = ::memfd_create("fresh", 0);
    unlha::ArchiveWriter w2(fresh);
    ASSERT_TRUE(add(w2, "big.txt", big, Method::lh5)) << w2.error();
    ASSERT_TRUE(add(w2, "small.txt", small, Method::lh6)) << w2.error();
    ASSERT_TRUE(w2.finish());
    const Bytes alone = contents(fresh);
    ::close(fresh);

    const auto headers = parseHeaders(all);
    ASSERT_EQ(headers.size(), 3u);
    const std::size_t skip = headers[0].size + headers[0].packed;
    ASSERT_EQ(all.size() - skip, alone.size());
    EXPECT_TRUE(std::equal(alone.begin(), alone.end(), all.begin() + static_cast<long>(skip)));
}

}  // namespace
