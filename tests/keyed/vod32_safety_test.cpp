// What a call leaves behind when something goes wrong.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "loaded_vod32.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

TEST(Vod32, ExportsExactlyItsThreeFunctions) {
    EXPECT_EQ(exportedSymbols(vod32().library.path()),
              (std::set<std::string>{"VovGetVersion", "VovBCMKC", "VovBCMKCL"}));
}

struct Folder {
    TempDir dir;
    Bytes original = randomBytes(4000, 1);
    Folder() { writeFile(dir / "f", original); }
    int run(const char* source, const char* work, const std::string& key) const {
        return vod32().encrypt(nullptr, source, (dir / "f").c_str(), work, key.c_str());
    }
};

TEST(Vod32, ChecksComeInTheirDocumentedOrder) {
    struct Case {
        const char* what;
        bool sourceMissing;
        const char* work;  // relative to the folder
        std::size_t keyLength;
        int code;
        std::set<std::string> left;
    };
    const Case cases[] = {
        {"missing source first", true, "Temp.$$$", 0, VOD32_E_SOURCE, {"f"}},
        {"missing source before the work file", true, "none/Temp.$$$", 300, VOD32_E_SOURCE, {"f"}},
        {"empty key creates nothing", false, "Temp.$$$", 0, VOD32_E_KEY_EMPTY, {"f"}},
        {"work file before the key length", false, "none/Temp.$$$", 256, VOD32_E_WORK_FILE, {"f"}},
        {"256-byte key leaves an empty work file",
         false,
         "Temp.$$$",
         256,
         VOD32_E_KEY_TOO_LONG,
         {"f", "Temp.$$$"}},
        {"a much longer key too", false, "Temp.$$$", 5000, VOD32_E_KEY_TOO_LONG, {"f", "Temp.$$$"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        const std::string source = folder.dir / (c.sourceMissing ? "missing" : "f");
        EXPECT_EQ(folder.run(source.c_str(), (folder.dir / c.work).c_str(),
                             std::string(c.keyLength, 'k')),
                  c.code);
        EXPECT_EQ(listDir(folder.dir.path()), c.left);
        EXPECT_EQ(readFile(folder.dir / "f"), folder.original);
        if (c.left.count("Temp.$$$")) {
            EXPECT_EQ(readFile(folder.dir / "Temp.$$$"), Bytes{});
        }
    }
}

TEST(Vod32, NullKeyIsAnEmptyKey) {
    Folder folder;
    EXPECT_EQ(vod32().encryptInPlace(nullptr, (folder.dir / "f").c_str(),
                                     (folder.dir / "Temp.$$$").c_str(), nullptr),
              VOD32_E_KEY_EMPTY);
    EXPECT_EQ(listDir(folder.dir.path()), std::set<std::string>{"f"});
}

TEST(Vod32, UnusableWorkPathChangesNothing) {
    Folder folder;
    writeFile(folder.dir / "plain", hex("00"));
    std::vector<std::string> cases = {folder.dir / "none/Temp.$$$", folder.dir / "plain/Temp.$$$",
                                      folder.dir / "f", ""};
    // A folder nobody may create files in, root included.
    if (exists("/proc/self")) cases.push_back("/proc/Temp.$$$");
    for (const std::string& work : cases) {
        SCOPED_TRACE(work);
        EXPECT_EQ(folder.run((folder.dir / "f").c_str(), work.c_str(), "key"), VOD32_E_WORK_FILE);
        EXPECT_EQ(readFile(folder.dir / "f"), folder.original);
        EXPECT_EQ(listDir(folder.dir.path()), (std::set<std::string>{"f", "plain"}));
    }
}

TEST(Vod32, ReadOnlyDestinationIsLeftUntouched) {
    Folder folder;
    ::chmod((folder.dir / "f").c_str(), 0444);
    EXPECT_EQ(folder.run((folder.dir / "f").c_str(), (folder.dir / "Temp.$$$").c_str(), "key"),
              VOD32_E_DESTINATION_READ_ONLY);
    EXPECT_EQ(readFile(folder.dir / "f"), folder.original);
    EXPECT_EQ(listDir(folder.dir.path()), std::set<std::string>{"f"});
}

TEST(Vod32, DestinationInAMissingFolder) {
    Folder folder;
    EXPECT_EQ(
        vod32().encrypt(nullptr, (folder.dir / "f").c_str(), (folder.dir / "none/out").c_str(),
                        (folder.dir / "Temp.$$$").c_str(), "key"),
        VOD32_E_REPLACE);
    EXPECT_EQ(listDir(folder.dir.path()), std::set<std::string>{"f"});
}

TEST(Vod32, ExistingWorkFileIsOverwrittenAndRemoved) {
    Folder folder;
    writeFile(folder.dir / "Temp.$$$", randomBytes(9999, 2));
    EXPECT_EQ(folder.run((folder.dir / "f").c_str(), (folder.dir / "Temp.$$$").c_str(), "key"),
              VOD32_OK);
    EXPECT_EQ(listDir(folder.dir.path()), std::set<std::string>{"f"});
    EXPECT_NE(readFile(folder.dir / "f"), folder.original);
}

TEST(Vod32, SourceEndingBeforeItsSizeIsAReadError) {
    const std::string source = fileThatReadsShort();
    if (source.empty()) GTEST_SKIP() << "no sysfs attribute to read";
    Folder folder;
    EXPECT_EQ(folder.run(source.c_str(), (folder.dir / "Temp.$$$").c_str(), "key"), VOD32_E_READ);
    EXPECT_EQ(readFile(folder.dir / "f"), folder.original);
    EXPECT_EQ(listDir(folder.dir.path()), std::set<std::string>{"f"});
}

// A real kernel write failure (EFBIG past the file size limit) part-way
// through the result, as a full disk would give.
TEST(Vod32, WriteFailureLeavesTheDestinationByteIdentical) {
    TempDir dir, workDir;
    const Bytes original = randomBytes(3 << 20, 5);
    writeFile(dir / "f", original, 0640);
    const int code = runInChild(
        [&] {
            return vod32().encryptInPlace(nullptr, (dir / "f").c_str(),
                                          (workDir / "Temp.$$$").c_str(), "key");
        },
        1 << 20);
    EXPECT_EQ(code, VOD32_E_WRITE);
    EXPECT_EQ(readFile(dir / "f"), original);
    EXPECT_EQ(modeOf(dir / "f"), 0640u);
    EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
    EXPECT_EQ(listDir(workDir.path()), std::set<std::string>{});
}

}  // namespace
}  // namespace dozo::test
