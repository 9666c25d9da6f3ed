// What a failed command tells through UnlhaSetFailureReport, for a caller
// that words its own message: the code, the cause, the file's name and the
// system's error number, one row per kind of failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

struct ToldFailure {
    int calls = 0;
    int code = 0, cause = 0;
    std::string name;
    int error = 0;

    static void heard(void* context, int code, int cause, const char* name, int error) {
        auto* self = static_cast<ToldFailure*>(context);
        *self = {self->calls + 1, code, cause, name, error};
    }
};

struct FailureCase {
    const char* name;
    // Prepares the folder; the command line and the name expected to be told.
    std::function<std::pair<std::string, std::string>(const fs::path& dir)> make;
    int code, cause, error;
};

std::pair<std::string, std::string> packLineFor(const fs::path& dir, const fs::path& file) {
    return {"u -a1 " + arg(dir / "o.lzh") + " " + arg(file), file.string()};
}

std::pair<std::string, std::string> extractLineFor(const fs::path& archive, const fs::path& out,
                                                   const std::string& told) {
    return {"x -a1 " + arg(archive) + " " + arg(out), told};
}

// An archive of "f" (and the folder "d" holding "g"), to extract again.
fs::path archiveToExtract(const fs::path& dir) {
    fs::create_directories(dir / "src" / "d");
    writeText(dir / "src" / "f", "f");
    writeText(dir / "src" / "d" / "g", "g");
    writeText(dir / "list", (dir / "src" / "f").string() + "\n" + (dir / "src" / "d").string());
    EXPECT_EQ(
        run("u -a1 -r2 " + arg(dir / "p.lzh") + " " + arg("@" + (dir / "list").string())).code,
        UNLHA_OK);
    return dir / "p.lzh";
}

const FailureCase kFailureCases[] = {
    {"MissingInput", [](const fs::path& d) { return packLineFor(d, d / "missing.txt"); },
     UNLHA_ERROR_INPUT, UNLHA_CAUSE_INPUT_OPEN, ENOENT},
    {"NameWithBackslash",
     [](const fs::path& d) {
         writeText(d / "x\\y", "x");
         return packLineFor(d, d / "x\\y");
     },
     UNLHA_ERROR_INPUT, UNLHA_CAUSE_NAME_BACKSLASH, 0},
    {"TwoInputsOneName",
     [](const fs::path& d) {
         fs::create_directories(d / "a");
         fs::create_directories(d / "b");
         writeText(d / "a" / "f", "1");
         writeText(d / "b" / "f", "2");
         writeText(d / "list", (d / "a" / "f").string() + "\n" + (d / "b" / "f").string());
         return std::pair{"u -a1 " + arg(d / "o.lzh") + " " + arg("@" + (d / "list").string()),
                          std::string("f")};
     },
     UNLHA_ERROR_INPUT, UNLHA_CAUSE_NAME_TWICE, 0},
    {"FileWhereTheArchiveHasAFolder",
     [](const fs::path& d) {
         const fs::path archive = archiveToExtract(d);
         writeText(d / "d", "a file now");
         return std::pair{"u -a1 " + arg(archive) + " " + arg(d / "d"), std::string("d")};
     },
     UNLHA_ERROR_INPUT, UNLHA_CAUSE_NAME_KIND, 0},
    {"MissingArchive",
     [](const fs::path& d) { return extractLineFor(d / "none.lzh", d / "out", ""); },
     UNLHA_ERROR_ARCHIVE_OPEN, UNLHA_CAUSE_ARCHIVE_OPEN, ENOENT},
    {"ExistingFileKept",
     [](const fs::path& d) {
         const fs::path archive = archiveToExtract(d);
         fs::create_directories(d / "out");
         writeText(d / "out" / "f", "mine");
         return std::pair{"x -a1 -o0 " + arg(archive) + " " + arg(d / "out"),
                          (d / "out" / "f").string()};
     },
     UNLHA_ERROR_SKIPPED, UNLHA_CAUSE_FILE_KEPT, 0},
    {"DestinationBelowAFile",
     [](const fs::path& d) {
         const fs::path archive = archiveToExtract(d);
         writeText(d / "file", "x");
         return extractLineFor(archive, d / "file" / "out", (d / "file" / "out").string());
     },
     UNLHA_ERROR_WRITE, UNLHA_CAUSE_FOLDER_CREATE, ENOTDIR},
    {"DamagedData",
     [](const fs::path& d) {
         return extractLineFor(testData("malformed/good-then-bad-crc.lzh"), d / "out", "bad.txt");
     },
     UNLHA_ERROR_DATA, UNLHA_CAUSE_ENTRY_DATA, 0},
    {"UnsafeName",
     [](const fs::path& d) {
         return extractLineFor(testData("malformed/dotdot.lzh"), d / "out", "../evil.txt");
     },
     UNLHA_ERROR_UNSAFE_ENTRY, UNLHA_CAUSE_ENTRY_UNSAFE, 0},
    {"Success",
     [](const fs::path& d) {
         writeText(d / "a.txt", "a");
         return packLineFor(d, d / "a.txt");
     },
     UNLHA_OK, 0, 0},
};

class FailureReport : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureReport, TellsTheCodeTheCauseTheFileAndTheSystemError) {
    const FailureCase& c = GetParam();
    TempDir dir;
    ConfigHome config;
    const auto [line, name] = c.make(dir.path());
    ToldFailure told;
    library().setFailureReport(&ToldFailure::heard, &told);
    const Result r = run(line);
    library().setFailureReport(nullptr, nullptr);
    ASSERT_EQ(r.code, c.code) << r.reason;
    if (c.code == UNLHA_OK) {
        EXPECT_EQ(told.calls, 0);
        return;
    }
    EXPECT_EQ(told.calls, 1);
    EXPECT_EQ(told.code, c.code);
    EXPECT_EQ(told.cause, c.cause);
    EXPECT_EQ(told.name, name);
    EXPECT_EQ(told.error, c.error);
    EXPECT_FALSE(r.reason.empty()) << "the reason in output stays";
}

INSTANTIATE_TEST_SUITE_P(Cases, FailureReport, ::testing::ValuesIn(kFailureCases),
                         [](const ::testing::TestParamInfo<FailureCase>& test) {
                             return std::string(test.param.name);
                         });

}  // namespace
}  // namespace unlhatest
