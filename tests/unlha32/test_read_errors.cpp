// A read error in an existing archive must never pass for its end. Each
// command runs in a process of its own under strace, which fails one read(2)
// of the archive with EIO; the archive must stay as it was and every command
// must fail with its reason.
#include <gtest/gtest.h>

#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

// The nth read of archive fails.
Child runWithReadError(const std::string& commandLine, const fs::path& archive, int nth) {
    return runTraced("-e inject=read:error=EIO:when=" + std::to_string(nth) + " -P " + arg(archive),
                     commandLine);
}

class ReadError : public TracedTest {
protected:
    // Three stored entries a, b, c; the header of b starts headerOfB bytes
    // into the archive.
    void makeArchive(std::size_t headerOfB) {
        // Incompressible data is stored, so sizes are exact; the header of a
        // is measured from a one-entry archive with the same name.
        writeBytes(dir_ / "a", sampleBinary(1000, 1));
        ASSERT_EQ(run("u -a1 " + arg(archive_) + " " + arg(dir_ / "a")).code, UNLHA_OK);
        const std::size_t headerOfA = fs::file_size(archive_) - 1000 - 1;
        fs::remove(archive_);
        writeBytes(dir_ / "a", sampleBinary(headerOfB - headerOfA, 1));
        writeBytes(dir_ / "b", sampleText(300, 2));
        writeBytes(dir_ / "c", sampleBinary(5000, 3));
        for (const char* name : {"a", "b", "c"})
            ASSERT_EQ(run("u -a1 " + arg(archive_) + " " + arg(dir_ / name)).code, UNLHA_OK);
        const Bytes bytes = readBytes(archive_);
        ASSERT_EQ(std::string(bytes.begin() + headerOfB + 2, bytes.begin() + headerOfB + 7),
                  "-lh5-");
        original_ = bytes;
    }

    fs::path archive_ = dir_ / "x.lzh";
    Bytes original_;
};

TEST_F(ReadError, NoCommandTakesItForTheEndOfTheArchive) {
    // The reader reads 64 KiB at a time: the second read is the one that
    // brings the rest of b's header.
    makeArchive(65536 - 10);
    writeBytes(dir_ / "d", sampleText(100, 4));
    const std::string a = arg(archive_);
    const struct {
        std::string line;
        const char* what;
    } cases[] = {
        {"u -a1 " + a + " " + arg(dir_ / "d"), "update adding a file"},
        {"u -a1 " + a + " " + arg(dir_ / "a"), "update of a kept entry"},
        {"x -a1 " + a + " " + arg(dir_ / "out"), "extract"},
        {"l -a1 " + a, "list"},
        {"t -a1 " + a, "test"},
        {"--check " + archive_.string(), "check"},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_ / "out");
        const Child child = runWithReadError(c.line, archive_, 2);
        EXPECT_NE(child.code, UNLHA_OK) << c.what;
        EXPECT_LT(child.code, 100) << c.what << ": the child did not run";
        EXPECT_TRUE(readBytes(archive_) == original_) << c.what;
        if (c.line[0] != '-') {
            EXPECT_NE(child.output.find("Input/output error"), std::string::npos)
                << c.what << ": " << child.output;
        }
    }
    // Extraction keeps what it completed and names where it stopped.
    const Child x = runWithReadError("x -a1 " + a + " " + arg(dir_ / "out"), archive_, 2);
    EXPECT_EQ(listTree(dir_ / "out"), std::vector<std::string>{"a"});
    EXPECT_TRUE(readBytes(dir_ / "out" / "a") == readBytes(dir_ / "a"));
    EXPECT_NE(x.output.find(" a "), std::string::npos) << x.output;

    // Without the fault every command succeeds on the same archive.
    EXPECT_EQ(runWithReadError("t -a1 " + a, archive_, 1000).code, UNLHA_OK);
}

TEST_F(ReadError, InsideEntryDataIsDamage) {
    makeArchive(200000);
    for (const std::string& line : {"x -a1 " + arg(archive_) + " " + arg(dir_ / "out"),
                                    "t -a1 " + arg(archive_), "l -a1 " + arg(archive_)}) {
        const Child child = runWithReadError(line, archive_, 2);
        EXPECT_NE(child.code, UNLHA_OK) << line;
        EXPECT_TRUE(readBytes(archive_) == original_);
    }
    EXPECT_FALSE(fs::exists(dir_ / "out" / "a"));
}

// An archive that is there but cannot be opened (no permission) is not "not
// an archive"; one that opens and is none is.
TEST_F(ReadError, ArchiveThatCannotBeOpenedIsToldFromOneThatIsNone) {
    writeText(dir_ / "notes.lzh", "my notes, not an archive\n");
    const std::string x = "x -a1 " + arg(dir_ / "notes.lzh") + " " + arg(dir_ / "out");
    const Child refused =
        runTraced("-e inject=openat:error=EACCES -P " + arg(dir_ / "notes.lzh"), x);
    EXPECT_EQ(refused.code, UNLHA_ERROR_ARCHIVE_OPEN) << refused.output;
    EXPECT_NE(refused.output.find("Permission denied"), std::string::npos) << refused.output;
    EXPECT_EQ(run(x).code, UNLHA_ERROR_NOT_ARCHIVE);
    EXPECT_EQ(run("x -a1 " + arg(dir_ / "missing.lzh") + " " + arg(dir_ / "out")).code,
              UNLHA_ERROR_ARCHIVE_OPEN);
}

// An update locks the archive and keeps what follows its end mark (here a
// second archive) through the handle of its first open: when that open
// fails, the update fails, even though a later open would work.
TEST_F(ReadError, AnUpdateWhoseArchiveWillNotOpenFails) {
    makeArchive(200000);
    Bytes appended = original_;
    appended.insert(appended.end(), original_.begin(), original_.end());
    writeBytes(archive_, appended);
    writeBytes(dir_ / "d", sampleText(100, 4));
    for (const char* error : {"EIO", "EMFILE"}) {
        const Child child = runTraced(
            std::string("-e inject=openat:error=") + error + ":when=1 -P " + arg(archive_),
            "u -a1 " + arg(archive_) + " " + arg(dir_ / "d"));
        EXPECT_EQ(child.code, UNLHA_ERROR_ARCHIVE_OPEN) << error << ": " << child.output;
        EXPECT_NE(child.output.find("既存の書庫を開けません"), std::string::npos) << child.output;
        EXPECT_TRUE(readBytes(archive_) == appended) << error;
    }
}

TEST_F(ReadError, KeptEntriesAreCopiedOnlyWhenRead) {
    // An update reads each kept entry's header fields and bytes with pread:
    // whichever of those reads fails, the update fails and the archive stays.
    makeArchive(200000);
    writeBytes(dir_ / "d", sampleText(100, 4));
    const std::string line = "u -a1 " + arg(archive_) + " " + arg(dir_ / "d");
    int failed = 0, named = 0;
    for (int nth = 1; nth < 40; ++nth) {
        const Child child = runTraced(
            "-e inject=pread64:error=EIO:when=" + std::to_string(nth) + " -P " + arg(archive_),
            line);
        ASSERT_LT(child.code, 100) << nth << ": the child did not run";
        if (child.code == UNLHA_OK) break;
        ++failed;
        EXPECT_TRUE(readBytes(archive_) == original_) << nth;
        if (child.output.find("Input/output error") != std::string::npos) ++named;
    }
    EXPECT_GE(failed, 3) << "each of the three entries is read";
    EXPECT_GE(named, 3) << "a failed copy names the read error";
    EXPECT_EQ(run("t -a1 " + arg(archive_)).code, UNLHA_OK);
}

}  // namespace
}  // namespace unlhatest
