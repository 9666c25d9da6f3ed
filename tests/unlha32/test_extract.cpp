// Extraction as the application runs it: archives written by jlha (a real peer)
// at every method and header level come back byte for byte; existing files,
// planted links, modes, times and destination spellings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "leftover.h"
#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

// The tree every interop archive holds: text, incompressible and 0xFF-rich
// data, an empty file, nested and empty folders.
void makeTree(const fs::path& root) {
    fs::create_directories(root / "docs" / "deep" / "deeper");
    fs::create_directories(root / "empty-folder");
    writeBytes(root / "text.txt", sampleText(300000, 7));
    writeBytes(root / "random.bin", sampleBinary(70000, 3));
    writeBytes(root / "ff.bin", Bytes(40000, 0xFF));
    writeBytes(root / "empty.dat", {});
    writeBytes(root / "docs" / "readme.txt", sampleText(1000, 2));
    writeBytes(root / "docs" / "deep" / "deeper" / "leaf.txt", sampleText(50000, 5));
}

void expectSameFiles(const fs::path& expected, const fs::path& actual) {
    ASSERT_EQ(listTree(expected), listTree(actual));
    for (const std::string& rel : listTree(expected)) {
        if (rel.back() == '/') continue;
        EXPECT_TRUE(readBytes(expected / rel) == readBytes(actual / rel)) << rel;
    }
}

struct JlhaCase {
    char method;  // '5'..'7', or '0' for stored
    int level;
};

class JlhaInterop : public ::testing::TestWithParam<JlhaCase> {};

TEST_P(JlhaInterop, ExtractsByteIdentical) {
    const JlhaCase c = GetParam();
    TempDir dir;
    ConfigHome config;
    makeTree(dir / "src");
    const fs::path archive = dir / "peer.lzh";
    ASSERT_EQ(jlhaPack(dir / "src", archive, jlhaOptions(c.level, c.method),
                       "text.txt random.bin ff.bin empty.dat docs empty-folder"),
              0);
    ASSERT_NE(library().checkArchive(archive.c_str(), 1), 0);
    // The header has the level and method we asked jlha for.
    const Bytes bytes = readBytes(archive);
    ASSERT_GT(bytes.size(), 21u);
    EXPECT_EQ(bytes[20], c.level);
    EXPECT_EQ(firstMethod(archive), std::string("-lh") + c.method + "-");

    const Result r = run("x -a1 " + arg(archive) + " " + arg((dir / "out").string() + "\\"));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    expectSameFiles(dir / "src", dir / "out");
}

INSTANTIATE_TEST_SUITE_P(MethodsAndLevels, JlhaInterop,
                         ::testing::Values(JlhaCase{'5', 0}, JlhaCase{'5', 1}, JlhaCase{'5', 2},
                                           JlhaCase{'6', 0}, JlhaCase{'6', 1}, JlhaCase{'6', 2},
                                           JlhaCase{'7', 0}, JlhaCase{'7', 1}, JlhaCase{'7', 2},
                                           JlhaCase{'0', 2}),
                         [](const auto& test) {
                             return std::string("lh") + test.param.method + "_level" +
                                    std::to_string(test.param.level);
                         });

struct NamedCase {
    const char* file;   // in data/valid, made by data/make_malformed.py
    const char* entry;  // the path it must extract to
};

TEST(ExtractNames, EachSpellingLandsWhereItSays) {
    const NamedCase cases[] = {
        {"cp932-level0", "表示/ソース.txt"},
        {"cp932-level2", "フォルダ/書類.txt"},
        {"utf8-codepage", "日本語.txt"},
        // The top's own folder entry is the destination: nothing to refuse.
        {"top-folder", "good.txt"},
    };
    for (const NamedCase& c : cases) {
        TempDir dir;
        ConfigHome config;
        const fs::path archive = testData("valid/" + std::string(c.file) + ".lzh");
        const Result r = run("x -a1 " + arg(archive) + " " + arg(dir / "out"));
        ASSERT_EQ(r.code, UNLHA_OK) << c.file << ": " << r.reason;
        EXPECT_EQ(readText(dir / "out" / c.entry), "A good entry.\n") << c.file;
    }
}

// An entry whose name decodes neither as code page 932 nor as the UTF-8 its
// header claims must cost only its name, never the archive: it is listed with
// its stray byte escaped, extracted under a name spelling that byte out (with a
// warning), and copied unchanged when the archive is updated.
TEST(ExtractNames, UndecodableNameCostsOnlyItsName) {
    const struct {
        const char* file;    // in data/valid, made by data/make_malformed.py
        const char* listed;  // the name in the listing
        const char* placed;  // the path it is extracted to
    } cases[] = {
        {"undecodable-level0", "caf\\xe9.txt", "caf%E9.txt"},
        {"undecodable-level1", "d\\xe9/f.txt", "d%E9/f.txt"},
        {"undecodable-level1-wide", "caf\\xe9.txt", "caf%E9.txt"},
        {"undecodable-level2", "caf\\xe9.txt", "caf%E9.txt"},
        {"undecodable-level3", "caf\\xe9.txt", "caf%E9.txt"},
        {"undecodable-utf8", "caf\\xe9.txt", "caf%E9.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        ConfigHome config;
        const fs::path archive = testData("valid/" + std::string(c.file) + ".lzh");
        const Result listed = run("l -a1 " + arg(archive));
        ASSERT_EQ(listed.code, UNLHA_OK) << listed.reason;
        EXPECT_NE(listed.reason.find(std::string("\t") + c.listed + "\n"), std::string::npos)
            << listed.reason;
        EXPECT_NE(listed.reason.find("after.txt"), std::string::npos) << listed.reason;
        EXPECT_EQ(run("t -a1 " + arg(archive)).code, UNLHA_OK);
        EXPECT_NE(library().checkArchive(archive.c_str(), 1), 0);

        const Result r = run("x -a1 " + arg(archive) + " " + arg(dir / "out"));
        ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
        EXPECT_NE(r.reason.find(std::string("読めない文字を含む名前を変えて展開します: ") +
                                c.listed + " -> " + c.placed),
                  std::string::npos)
            << r.reason;
        EXPECT_EQ(readText(dir / "out" / c.placed), "A good entry.\n");
        EXPECT_EQ(readText(dir / "out" / "after.txt"), "A good entry.\n");

        // Updated, the old entries are the same bytes, end mark aside.
        const Bytes before = readBytes(archive);
        fs::copy_file(archive, dir / "u.lzh");
        writeText(dir / "new.txt", "new\n");
        const Result u = run("u -a1 " + arg(dir / "u.lzh") + " " + arg(dir / "new.txt"));
        ASSERT_EQ(u.code, UNLHA_OK) << u.reason;
        const Bytes after = readBytes(dir / "u.lzh");
        ASSERT_GT(after.size(), before.size());
        EXPECT_TRUE(std::equal(before.begin(), before.end() - 1, after.begin()));
        const Result relisted = run("l -a1 " + arg(dir / "u.lzh"));
        EXPECT_NE(relisted.reason.find(std::string("\t") + c.listed + "\n"), std::string::npos)
            << relisted.reason;
        if (fs::exists("/usr/bin/lhasa")) {
            const std::string test = "lhasa t " + (dir / "u.lzh").string() + " >/dev/null";
            EXPECT_EQ(std::system(test.c_str()), 0);
        }
    }
}

TEST(ExtractNames, ModeWithoutSpecialBitsAndTime) {
    // Modes are restored through the umask, as any extraction by a user does.
    ::umask(022);
    TempDir dir;
    ConfigHome config;
    const fs::path archive = testData("valid/cp932-level2.lzh");
    ASSERT_EQ(run("x -a1 " + arg(archive) + " " + arg(dir / "out")).code, UNLHA_OK);
    const fs::path file = dir / "out" / "フォルダ" / "書類.txt";
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(mtimeOf(file), 1600000000);

    const fs::path setuid = testData("valid/setuid.lzh");
    ASSERT_EQ(run("x -a1 " + arg(setuid) + " " + arg(dir / "out")).code, UNLHA_OK);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out" / "tool").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

class Extract : public ::testing::Test {
protected:
    void SetUp() override {
        writeText(dir / "a.txt", "alpha\n");
        fs::create_directories(dir / "d" / "sub");
        writeText(dir / "d" / "b.txt", "bravo\n");
        writeText(dir / "d" / "sub" / "c.txt", "charlie\n");
        ASSERT_EQ(jlhaPack(dir, archive, "-c2", "a.txt d"), 0);
    }

    Result extractTo(const fs::path& destination) {
        return run("x -a1 " + arg(archive) + " " + arg(destination));
    }

    TempDir dir;
    ConfigHome config;
    const fs::path archive = dir / "sample.lzh";
    const fs::path out = dir / "out";
};

TEST_F(Extract, DestinationSpellings) {
    // The application ends the destination with '\'; '/' and none work too, and
    // a missing destination is created.
    const struct {
        const char* folder;
        const char* suffix;
    } cases[] = {{"backslash", "\\"}, {"slash", "/"}, {"plain", ""}};
    for (const auto& c : cases) {
        const Result r = extractTo((dir / c.folder).string() + c.suffix);
        ASSERT_EQ(r.code, UNLHA_OK) << c.folder << ": " << r.reason;
        EXPECT_EQ(listTree(dir / c.folder),
                  (std::vector<std::string>{"a.txt", "d/", "d/b.txt", "d/sub/", "d/sub/c.txt"}))
            << c.folder;
    }
}

TEST_F(Extract, ExistingFilesAreKeptUnlessTheSettingSaysOtherwise) {
    fs::create_directories(out / "d");
    writeText(out / "a.txt", "mine\n");

    Result r = extractTo(out.string() + "/");
    EXPECT_EQ(r.code, UNLHA_ERROR_SKIPPED);
    EXPECT_NE(r.reason.find("1"), std::string::npos) << r.reason;
    EXPECT_EQ(readText(out / "a.txt"), "mine\n");
    // Everything else was still extracted.
    EXPECT_EQ(readBytes(out / "d" / "sub" / "c.txt"), readBytes(dir / "d" / "sub" / "c.txt"));

    config.write("overwrite=true\n");
    r = extractTo(out.string() + "/");
    EXPECT_EQ(r.code, UNLHA_OK) << r.reason;
    EXPECT_EQ(readBytes(out / "a.txt"), readBytes(dir / "a.txt"));
}

TEST_F(Extract, LeftoversOfKilledWritersAreSwept) {
    // Hidden temporaries our writers left when killed are leftovers.
    fs::create_directories(out / "d" / "sub");
    ASSERT_FALSE(dozo::test::killedWriter(out, "a.txt", dozo::fileio::kTagUnlha).empty());
    ASSERT_FALSE(dozo::test::killedWriter(out / "d" / "sub", "c.txt").empty());
    // Named like ours by a live process, not quite like ours, or by a process
    // that has ended but not made by a writer of ours: kept.
    const std::string pid = std::to_string(dozo::test::deadPid());
    const std::string live = ".x.unlha-" + std::to_string(::getpid()) + "-0";
    const std::string named = ".a.txt.unlha-" + pid + "-0";
    for (const std::string& name : {live, std::string(".a.txt.unlha-x-0"), named})
        writeText(out / name, "mine\n");

    ASSERT_EQ(extractTo(out).code, UNLHA_OK);
    std::vector<std::string> kept{".a.txt.unlha-x-0", named,    live,         "a.txt", "d/",
                                  "d/b.txt",          "d/sub/", "d/sub/c.txt"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(listTree(out), kept);
}

TEST_F(Extract, PlantedSymlinkFolderIsNotFollowed) {
    const fs::path outside = dir / "outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, out / "d");
    config.write("overwrite=true\n");

    const Result r = extractTo(out);
    EXPECT_EQ(r.code, UNLHA_ERROR_UNSAFE_ENTRY) << r.reason;
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_TRUE(fs::is_symlink(out / "d"));
    EXPECT_EQ(readBytes(out / "a.txt"), readBytes(dir / "a.txt"));
}

TEST_F(Extract, PlantedSymlinkFileIsReplacedNotWrittenThrough) {
    const fs::path victim = dir / "victim.txt";
    writeText(victim, "precious\n");
    fs::create_directories(out);
    fs::create_symlink(victim, out / "a.txt");

    // Without overwriting the link stays; with it the link itself is replaced.
    EXPECT_EQ(extractTo(out).code, UNLHA_ERROR_SKIPPED);
    EXPECT_TRUE(fs::is_symlink(out / "a.txt"));
    config.write("overwrite=true\n");
    EXPECT_EQ(extractTo(out).code, UNLHA_OK);
    EXPECT_FALSE(fs::is_symlink(out / "a.txt"));
    EXPECT_EQ(readBytes(out / "a.txt"), readBytes(dir / "a.txt"));
    EXPECT_EQ(readText(victim), "precious\n");
}

TEST_F(Extract, FolderWhereAFileBelongsIsAnError) {
    fs::create_directories(out / "a.txt");
    config.write("overwrite=true\n");
    const Result r = extractTo(out);
    EXPECT_EQ(r.code, UNLHA_ERROR_WRITE) << r.reason;
    EXPECT_TRUE(fs::is_directory(out / "a.txt"));
    EXPECT_TRUE(fs::exists(out / "d" / "sub" / "c.txt"));
}

TEST_F(Extract, MissingAndForeignArchives) {
    EXPECT_EQ(run("x -a1 " + arg(dir / "none.lzh") + " " + arg(out)).code,
              UNLHA_ERROR_ARCHIVE_OPEN);
    writeText(dir / "plain.txt", "not an archive\n");
    EXPECT_EQ(run("x -a1 " + arg(dir / "plain.txt") + " " + arg(dir / "out2")).code,
              UNLHA_ERROR_NOT_ARCHIVE);
    EXPECT_FALSE(fs::exists(dir / "out2") && !fs::is_empty(dir / "out2"));
}

TEST_F(Extract, UnwritableDestinationIsAnError) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    const fs::path locked = dir / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(extractTo(locked / "out").code, UNLHA_ERROR_WRITE);
}

}  // namespace
}  // namespace unlhatest
