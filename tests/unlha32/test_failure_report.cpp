// What a failed command tells through UnlhaSetFailureReport, for a caller
// that words its own message: the code, the cause, the file's name and the
// system's error number, one row per kind of failure.
#include <gtest/gtest.h>

#include <cerrno>

#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

TEST(FailureReport, TellsTheCodeTheCauseTheFileAndTheSystemError) {
    TempDir dir;
    ConfigHome config;
    const auto at = [&dir](const std::string& name) { return (dir / name).string(); };
    for (const char* file : {"src/f", "src/d/g", "a/f", "b/f", "x\\y", "a.txt", "file", "out/f"}) {
        fs::create_directories((dir / file).parent_path());
        writeText(dir / file, file);
    }
    // An archive of "f" and the folder "d" holding "g", to extract and update.
    writeText(dir / "src.list", at("src/f") + "\n" + at("src/d"));
    writeText(dir / "twice.list", at("a/f") + "\n" + at("b/f"));
    const std::string archive = arg(dir / "p.lzh"), o = arg(dir / "o.lzh");
    ASSERT_EQ(run("u -a1 -r2 " + archive + " " + arg("@" + at("src.list"))).code, UNLHA_OK);
    writeText(dir / "d", "a file now");
    const std::string damaged = arg(testData("malformed/good-then-bad-crc.lzh"));
    const std::string dotdot = arg(testData("malformed/dotdot.lzh"));
    const struct {
        const char* name;
        std::string line, told;
        int code, cause, error;
    } cases[] = {
        {"MissingInput", "u -a1 " + o + " " + arg(at("missing.txt")), at("missing.txt"),
         UNLHA_ERROR_INPUT, UNLHA_CAUSE_INPUT_OPEN, ENOENT},
        {"NameWithBackslash", "u -a1 " + o + " " + arg(at("x\\y")), at("x\\y"), UNLHA_ERROR_INPUT,
         UNLHA_CAUSE_NAME_BACKSLASH, 0},
        {"TwoInputsOneName", "u -a1 " + o + " " + arg("@" + at("twice.list")), "f",
         UNLHA_ERROR_INPUT, UNLHA_CAUSE_NAME_TWICE, 0},
        {"FileWhereTheArchiveHasAFolder", "u -a1 " + archive + " " + arg(at("d")), "d",
         UNLHA_ERROR_INPUT, UNLHA_CAUSE_NAME_KIND, 0},
        {"MissingArchive", "x -a1 " + arg(at("none.lzh")) + " " + arg(at("x1")), "",
         UNLHA_ERROR_ARCHIVE_OPEN, UNLHA_CAUSE_ARCHIVE_OPEN, ENOENT},
        {"ExistingFileKept", "x -a1 -o0 " + archive + " " + arg(at("out")), at("out/f"),
         UNLHA_ERROR_SKIPPED, UNLHA_CAUSE_FILE_KEPT, 0},
        {"DestinationBelowAFile", "x -a1 " + archive + " " + arg(at("file/out")), at("file/out"),
         UNLHA_ERROR_WRITE, UNLHA_CAUSE_FOLDER_CREATE, ENOTDIR},
        {"DamagedData", "x -a1 " + damaged + " " + arg(at("x2")), "bad.txt", UNLHA_ERROR_DATA,
         UNLHA_CAUSE_ENTRY_DATA, 0},
        {"UnsafeName", "x -a1 " + dotdot + " " + arg(at("x3")), "../evil.txt",
         UNLHA_ERROR_UNSAFE_ENTRY, UNLHA_CAUSE_ENTRY_UNSAFE, 0},
        {"Success", "u -a1 " + o + " " + arg(at("a.txt")), "", UNLHA_OK, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ToldFailure told;
        const Result r = run(c.line);
        ASSERT_EQ(r.code, c.code) << r.reason;
        EXPECT_EQ(told.calls, c.code == UNLHA_OK ? 0 : 1);
        if (c.code == UNLHA_OK) continue;
        EXPECT_EQ(told.code, c.code);
        EXPECT_EQ(told.cause, c.cause);
        EXPECT_EQ(told.name, c.told);
        EXPECT_EQ(told.error, c.error);
        EXPECT_FALSE(r.reason.empty()) << "the reason in output stays";
    }
}

}  // namespace
}  // namespace unlhatest
