// Damaged and hostile archives. The files in data/malformed are built by
// data/make_malformed.py (run `python3 tests/unlha32/data/make_malformed.py`
// and commit its output): hand-made headers with stored data, and variants of
// data/seed-lh5.lzh, a valid jlha archive. Each must give its error code, write
// nothing outside the destination and leave no partial file; the entries that
// are sound are still extracted. Testing and listing agree with them.
#include <gtest/gtest.h>

#include <algorithm>

#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

struct Case {
    const char* file;
    int code;
    std::vector<std::string> tree;  // what the destination holds afterwards
    bool headerDamaged;             // UnlhaCheckArchive must refuse it
};

const Case kCases[] = {
    {"truncated-header", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"truncated-data", UNLHA_ERROR_DATA, {}, true},
    // What is there is extracted; the run still fails.
    {"cut-at-entry", UNLHA_ERROR_NOT_ARCHIVE, {"fox.txt", "sub/", "sub/inner.txt"}, true},
    {"bad-header-crc", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"bad-header-sum-level0", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"bad-data-crc", UNLHA_ERROR_DATA, {}, false},
    {"lying-size-larger", UNLHA_ERROR_DATA, {}, false},
    {"lying-size-smaller", UNLHA_ERROR_DATA, {}, false},
    {"lying-size-lh5", UNLHA_ERROR_DATA, {}, false},
    {"ext-header-overrun", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"ext-header-tiny", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"huffman-ff", UNLHA_ERROR_DATA, {}, false},
    {"huffman-00", UNLHA_ERROR_DATA, {}, false},
    {"dotdot", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"dotdot-nested", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"dotdot-level0", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"absolute", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"absolute-level0", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"drive-letter", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"drive-letter-relative", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"unc-backslash", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"unc-slash", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"symlink", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    // The link is refused, so "link" becomes an ordinary folder inside.
    {"symlink-then-file", UNLHA_ERROR_UNSAFE_ENTRY, {"link/", "link/evil.txt"}, false},
    {"good-then-dotdot", UNLHA_ERROR_UNSAFE_ENTRY, {"good.txt"}, false},
    {"good-then-bad-crc", UNLHA_ERROR_DATA, {"good.txt"}, false},
    {"not-lha", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"bad-header-sum-undecodable", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"bad-header-crc-undecodable", UNLHA_ERROR_NOT_ARCHIVE, {}, true},
    {"dotdot-undecodable", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"dotdot-control-chars", UNLHA_ERROR_UNSAFE_ENTRY, {}, false},
    {"negative-declared-size", UNLHA_ERROR_NOT_ARCHIVE, {"good.txt"}, true},
};

class Malformed : public ::testing::TestWithParam<Case> {};

TEST_P(Malformed, FailsCleanlyInsideTheDestination) {
    const Case& c = GetParam();
    const fs::path archive = testData("malformed/" + std::string(c.file) + ".lzh");
    ASSERT_TRUE(fs::exists(archive)) << archive;
    TempDir dir;
    ConfigHome config;
    config.write("overwrite=true\n");
    // The destination sits two levels down so "../" and "../../" land in
    // folders the test watches.
    const fs::path watched = dir / "watched";
    const fs::path destination = watched / "inner" / "dest";
    fs::create_directories(destination);

    const Result r = run("x -a1 " + arg(archive) + " " + arg(destination.string() + "\\"));
    EXPECT_EQ(r.code, c.code) << r.reason;
    EXPECT_FALSE(r.reason.empty());
    std::vector<std::string> expected{"inner/", "inner/dest/"};
    for (const auto& p : c.tree) expected.push_back("inner/dest/" + p);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listTree(watched), expected);
    EXPECT_FALSE(fs::exists("/tmp/unlha32-absolute-evil.txt"));
    EXPECT_FALSE(fs::exists(fs::path("/tmp") / "evil.txt"));

    EXPECT_EQ(library().checkArchive(archive.c_str(), 1) == 0, c.headerDamaged);

    // Testing decodes what extraction decodes, but refuses no name; listing
    // reads what the check reads.
    const Result tested = run("t -a1 " + arg(archive));
    EXPECT_EQ(tested.code, c.code == UNLHA_ERROR_UNSAFE_ENTRY ? UNLHA_OK : c.code) << tested.reason;
    const Result listed = run("l -a1 " + arg(archive));
    EXPECT_EQ(listed.code != UNLHA_OK, c.headerDamaged) << listed.reason;

    // An update adding a file never carries an entry the reader would refuse
    // by its header or its name into a new archive; damaged data, which only
    // decoding shows, it copies as it is.
    const int update = c.headerDamaged                      ? c.code
                       : c.code == UNLHA_ERROR_UNSAFE_ENTRY ? UNLHA_ERROR_NOT_ARCHIVE
                                                            : UNLHA_OK;
    const fs::path copy = dir / "copy.lzh";
    fs::copy_file(archive, copy);
    writeText(dir / "new.txt", "new\n");
    const Result updated = run("u -a1 " + arg(copy) + " " + arg(dir / "new.txt"));
    EXPECT_EQ(updated.code, update) << updated.reason;
    if (update != UNLHA_OK) {
        EXPECT_EQ(readBytes(copy), readBytes(archive));
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, Malformed, ::testing::ValuesIn(kCases), [](const auto& test) {
    std::string name = test.param.file;
    for (char& ch : name)
        if (ch == '-') ch = '_';
    return name;
});

// The archives one at a time.
class MalformedOne : public ::testing::Test {
protected:
    TempDir dir;
    ConfigHome config;
};

TEST_F(MalformedOne, KeptFileDoesNotHideTheDamageAfterIt) {
    // Kept because overwriting is off.
    fs::create_directories(dir / "dest");
    writeText(dir / "dest" / "good.txt", "mine\n");
    const fs::path archive = testData("malformed/good-then-bad-crc.lzh");
    const Result r = run("x -a1 " + arg(archive) + " " + arg(dir / "dest"));
    EXPECT_EQ(r.code, UNLHA_ERROR_DATA) << r.reason;
    EXPECT_EQ(listTree(dir / "dest"), (std::vector<std::string>{"good.txt"}));
}

TEST_F(MalformedOne, BombDeclaringMoreThanTheFreeSpaceIsRefusedUnwritten) {
    // A few bytes that declare a petabyte, between two sound entries.
    const fs::path archive = testData("malformed/bomb-declared-size.lzh");
    const Result r = run("x -a1 " + arg(archive) + " " + arg(dir / "out"));
    EXPECT_EQ(r.code, UNLHA_ERROR_WRITE) << r.reason;
    EXPECT_NE(r.reason.find("bomb.bin"), std::string::npos) << r.reason;
    EXPECT_EQ(listTree(dir / "out"), (std::vector<std::string>{"after.txt", "good.txt"}));
    // Its headers are sound; decoding shows the data falls short of the claim.
    EXPECT_NE(library().checkArchive(archive.c_str(), 1), 0);
    EXPECT_EQ(run("t -a1 " + arg(archive)).code, UNLHA_ERROR_DATA);
    const Result listed = run("l -a1 " + arg(archive));
    EXPECT_NE(listed.reason.find("\n1125899906842624\t"), std::string::npos) << listed.reason;
}

TEST_F(MalformedOne, NegativeDeclaredSizeIsDamageNotLackOfSpace) {
    // The 64-bit size extension of the second entry says -1 bytes.
    const fs::path archive = testData("malformed/negative-declared-size.lzh");
    const Result r = run("x -a1 " + arg(archive) + " " + arg(dir / "out"));
    EXPECT_EQ(r.code, UNLHA_ERROR_NOT_ARCHIVE) << r.reason;
    EXPECT_NE(r.reason.find("大きさが負の値です (-1バイト): minus.bin"), std::string::npos)
        << r.reason;
    EXPECT_EQ(r.reason.find("空き容量"), std::string::npos) << r.reason;
    for (const char* command : {"l", "t"}) {
        const Result read = run(std::string(command) + " -a1 " + arg(archive));
        EXPECT_NE(read.reason.find("大きさが負の値です"), std::string::npos) << read.reason;
    }
}

TEST_F(MalformedOne, SeedIsSoundItself) {
    const fs::path seed = testData("seed-lh5.lzh");
    const Result r = run("x -a1 " + arg(seed) + " " + arg(dir / "out"));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    EXPECT_EQ(listTree(dir / "out"),
              (std::vector<std::string>{"empty", "fox.txt", "sub/", "sub/inner.txt"}));
    EXPECT_NE(library().checkArchive(seed.c_str(), 1), 0);
}

}  // namespace
}  // namespace unlhatest
