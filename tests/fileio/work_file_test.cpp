#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dozo/fileio/replacement.h"
#include "files.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

using fileio::Replacement;
using fileio::Status;
using fileio::WorkFile;

TEST(WorkFile, IsCreatedEmptyUpFrontAndRemovedAtTheEnd) {
    TempDir dir;
    writeFile(dir / "Temp.$$$", randomBytes(5000, 1));
    {
        WorkFile work;
        ASSERT_EQ(work.create((dir / "Temp.$$$").c_str()), Status::ok);
        EXPECT_EQ(readFile(dir / "Temp.$$$"), Bytes{});
    }
    EXPECT_FALSE(test::exists(dir / "Temp.$$$"));
    {
        WorkFile work;
        ASSERT_EQ(work.create((dir / "kept").c_str()), Status::ok);
        work.keep();
    }
    EXPECT_EQ(readFile(dir / "kept"), Bytes{});
}

TEST(WorkFile, NeverTruncatesOrRemovesAnythingButItsOwnFile) {
    TempDir dir;
    const Bytes data = randomBytes(100, 2);
    writeFile(dir / "source", data);
    writeFile(dir / "plain", data);
    ASSERT_EQ(::link((dir / "source").c_str(), (dir / "hardlink").c_str()), 0);
    ASSERT_EQ(::symlink("plain", (dir / "symlink").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    const std::string cases[] = {
        dir / "source",    dir / "hardlink",   dir / "symlink", dir / "fifo",
        dir / "none/work", dir / "plain/work", dir.path(),      "",
    };
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        WorkFile work;
        EXPECT_EQ(work.create(path.c_str(), {(dir / "source").c_str(), nullptr}),
                  Status::workCreate);
    }
    EXPECT_EQ(readFile(dir / "source"), data);
    EXPECT_EQ(readFile(dir / "plain"), data);
    EXPECT_EQ(listDir(dir.path()),
              (std::set<std::string>{"source", "plain", "hardlink", "symlink", "fifo"}));
}

TEST(WorkFile, KeepsAResultRenamedOntoItsPath) {
    TempDir dir;
    const std::string path = dir / "out";
    {
        WorkFile work;
        ASSERT_EQ(work.create(path.c_str(), {path.c_str()}), Status::ok);
        Replacement result;
        ASSERT_EQ(result.open(path.c_str()), Status::ok);
        ASSERT_EQ(result.write("ok", 2), Status::ok);
        ASSERT_EQ(result.commit(), Status::ok);
    }
    EXPECT_EQ(readFile(path), hex("6f 6b"));
}

}  // namespace
}  // namespace dozo::test
