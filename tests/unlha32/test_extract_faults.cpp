// Extraction when the system misbehaves: a disk that fills mid-write, folder
// times that cannot be set, and a folder swapped for a link to the outside
// while an entry is written. Faults come from strace's system-call injection
// in a process of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "library.h"
#include "sanitizer.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

class ExtractFault : public TracedTest {
protected:
    // A sanitizer runtime writes to the log descriptor itself; an injected
    // write fault then lands in the runtime instead of the archiver.
    static bool writesAreTheRuntimes() { return dozo::test::kAddressSanitizer; }
};

TEST_F(ExtractFault, DiskFullMidWriteLeavesNoPartialFile) {
    if (writesAreTheRuntimes()) GTEST_SKIP() << "write faults need a build without sanitizers";
    const fs::path archive = dir_ / "a.lzh";
    const Bytes big = sampleBinary(300000, 5);
    writeBytes(dir_ / "big", big);
    ASSERT_EQ(run("u -a1 " + arg(archive) + " " + arg(dir_ / "big")).code, UNLHA_OK);
    const Bytes mine = sampleText(5000, 6);
    config_.write("overwrite=true\n");
    for (const bool existing : {false, true}) {
        const fs::path out = dir_ / (existing ? "over" : "new");
        fs::create_directories(out);
        if (existing) writeBytes(out / "big", mine);
        // The second 64 KiB block of the file finds the disk full.
        const Child child = runTraced("-e trace=write -e inject=write:error=ENOSPC:when=2",
                                      "x -a1 " + arg(archive) + " " + arg(out));
        EXPECT_EQ(child.code, UNLHA_ERROR_WRITE) << child.errors;
        EXPECT_NE(child.output.find("No space left"), std::string::npos) << child.output;
        EXPECT_EQ(listTree(out),
                  existing ? std::vector<std::string>{"big"} : std::vector<std::string>{});
        if (existing) {
            EXPECT_TRUE(readBytes(out / "big") == mine);
        }
    }
}

TEST_F(ExtractFault, FolderTimesThatCannotBeSetAreWarnings) {
    const fs::path seed = testData("seed-lh5.lzh");
    const Child child = runTraced("-e inject=fchmod,utimensat:error=EPERM",
                                  "x -a1 " + arg(seed) + " " + arg(dir_ / "out"));
    EXPECT_EQ(child.code, UNLHA_OK) << child.errors;
    EXPECT_NE(child.output.find("sub"), std::string::npos) << child.output;
    EXPECT_NE(child.output.find("Operation not permitted"), std::string::npos) << child.output;
    EXPECT_EQ(listTree(dir_ / "out"),
              (std::vector<std::string>{"empty", "fox.txt", "sub/", "sub/inner.txt"}));

    // Warnings are cut to fit a small buffer; they never fail the run.
    const Child small = runTraced("-e inject=fchmod,utimensat:error=EPERM",
                                  "x -a1 " + arg(seed) + " " + arg(dir_ / "again"), 24);
    EXPECT_EQ(small.code, UNLHA_OK) << small.errors;
    EXPECT_FALSE(small.output.empty());
    EXPECT_LT(small.output.size(), 24u);
}

TEST_F(ExtractFault, NewFilesAreDurableBeforeTheRunSucceeds) {
    const fs::path seed = testData("seed-lh5.lzh");
    const fs::path trace = dir_ / "trace";
    ASSERT_EQ(shell(tracedCommand("-e trace=linkat,rename,renameat,renameat2,syncfs",
                                  "x -a1 " + arg(seed) + " " + arg(dir_ / "out"), trace.string()) +
                    " >/dev/null 2>&1"),
              UNLHA_OK);
    const std::string log = readText(trace);
    std::size_t placed = 0;
    for (const char* call : {"linkat(", "rename(", "renameat(", "renameat2("})
        if (const std::size_t at = log.rfind(call); at != std::string::npos)
            placed = std::max(placed, at);
    const std::size_t flushed = log.rfind("syncfs(");
    ASSERT_NE(flushed, std::string::npos) << log;
    EXPECT_GT(flushed, placed) << log;

    // A flush that fails is a failed run, though every file is in place.
    const Child child =
        runTraced("-e inject=syncfs:error=EIO", "x -a1 " + arg(seed) + " " + arg(dir_ / "again"));
    EXPECT_EQ(child.code, UNLHA_ERROR_WRITE) << child.errors;
    EXPECT_NE(child.output.find("Input/output error"), std::string::npos) << child.output;
}

TEST_F(ExtractFault, FoldersOfAFailedEntryAreRemovedWhereTheyWereMade) {
    if (writesAreTheRuntimes()) GTEST_SKIP() << "write faults need a build without sanitizers";
    // The entry d1/d2/f makes both folders, then its first write fails. While
    // the writer is held at that write, d1 becomes a link to a folder outside
    // that holds an empty d2 of its own: the clean-up must not remove it.
    const fs::path archive = testData("valid/nested-file.lzh");
    const fs::path dest = dir_ / "dest";
    const fs::path outside = dir_ / "outside";
    fs::create_directories(dest);
    fs::create_directories(outside / "d2");

    const fs::path trace = dir_ / "trace";
    const std::string command =
        "exec " +
        tracedCommand("-e trace=write -e inject=write:error=ENOSPC:signal=SIGSTOP:when=1",
                      "x -a1 " + arg(archive) + " " + arg(dest), trace.string()) +
        " >/dev/null 2>&1";
    const pid_t tracer = ::fork();
    ASSERT_GE(tracer, 0);
    if (tracer == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // strace reports the stop with the writer's PID at the start of the line.
    pid_t writer = 0;
    int status = 0;
    while (writer == 0 && ::waitpid(tracer, &status, WNOHANG) == 0) {
        std::ifstream report(trace);
        for (std::string line; std::getline(report, line);)
            if (line.find("--- stopped by SIGSTOP ---") != std::string::npos)
                writer = std::stoi(line);
        if (writer == 0) ::usleep(1000);
    }
    ASSERT_NE(writer, 0) << "the writer ended without stopping";
    EXPECT_TRUE(fs::is_directory(dest / "d1" / "d2"));

    fs::rename(dest / "d1", dest / "d1.moved");
    fs::create_directory_symlink(outside, dest / "d1");
    ::kill(writer, SIGCONT);
    ASSERT_EQ(::waitpid(tracer, &status, 0), tracer);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), UNLHA_ERROR_WRITE);

    EXPECT_TRUE(fs::is_directory(outside / "d2")) << "a folder outside was removed";
    // The folders it made went from where they really are; the link stays.
    EXPECT_TRUE(fs::is_symlink(dest / "d1"));
    EXPECT_TRUE(fs::is_empty(dest / "d1.moved"));
}

}  // namespace
}  // namespace unlhatest
