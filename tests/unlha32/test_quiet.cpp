// A library never prints: every call, succeeding or failing, leaves standard
// output and standard error of its process alone and says what it has to say
// through its result and the output buffer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

struct Case {
    const char* what;
    std::function<std::string(const fs::path& dir)> command;  // prepares dir, gives the line
    int code;
    const char* said;  // what the output buffer must hold
    unsigned long outputSize = 1 << 20;
};

std::string seedList(const fs::path&) {
    return "l -a1 " + arg(testData("seed-lh5.lzh"));
}

const Case kCases[] = {
    {"a listing", seedList, UNLHA_OK, "\tfox.txt\n"},
    {"a listing too long for the buffer", seedList, UNLHA_ERROR_OUTPUT, "バイト必要です", 64},
    {"an unpack",
     [](const fs::path& dir) {
         return "x -a1 " + arg(testData("seed-lh5.lzh")) + " " + arg(dir / "out");
     },
     UNLHA_OK, ""},
    {"a refused name from the archive",
     [](const fs::path& dir) {
         return "x -a1 " + arg(testData("malformed/dotdot-control-chars.lzh")) + " " +
                arg(dir / "out");
     },
     UNLHA_ERROR_UNSAFE_ENTRY, "\\x1b]0;owned\\x07\\xc2\\x9b2Jevil.txt"},
    {"a kept file and damage after it",
     [](const fs::path& dir) {
         writeText(dir / "good.txt", "mine\n");
         return "x -a1 -o0 " + arg(testData("malformed/good-then-bad-crc.lzh")) + " " +
                arg(dir.string());
     },
     UNLHA_ERROR_DATA, "2件の問題がありました。最初の問題: "},
    {"a special file left out of a pack",
     [](const fs::path& dir) {
         fs::create_directories(dir / "in");
         writeText(dir / "in" / "a.txt", "a");
         EXPECT_EQ(::mkfifo((dir / "in" / "pipe").c_str(), 0600), 0);
         return "u -a1 -r2 " + arg(dir / "a.lzh") + " " + arg(dir / "in");
     },
     UNLHA_OK, "警告: 特殊ファイルは格納しません: "},
    {"a missing archive", [](const fs::path& dir) { return "t -a1 " + arg(dir / "missing.lzh"); },
     UNLHA_ERROR_ARCHIVE_OPEN, "書庫がありません: "},
    {"a command line it does not take", [](const fs::path&) { return std::string("q -a1 x"); },
     UNLHA_ERROR_COMMAND, "未対応のコマンドです: q"},
};

class Quiet : public ::testing::TestWithParam<Case> {};

TEST_P(Quiet, SaysItThroughTheOutputBufferOnly) {
    const Case& c = GetParam();
    TempDir dir;
    ConfigHome config;
    Alone how;
    how.outputSize = c.outputSize;
    const Child child = runAlone(c.command(dir.path()), how);
    EXPECT_EQ(child.code, c.code) << child.output;
    EXPECT_EQ(child.errors, "");
    EXPECT_NE(child.output.find(c.said), std::string::npos) << child.output;
    // Names from archives come back escaped there too.
    EXPECT_EQ(child.output.find('\x1b'), std::string::npos) << child.output;
}

INSTANTIATE_TEST_SUITE_P(Calls, Quiet, ::testing::ValuesIn(kCases), [](const auto& test) {
    std::string name = test.param.what;
    for (char& ch : name)
        if (ch == ' ') ch = '_';
    return name;
});

TEST(QuietThreads, EachCallGetsItsOwnWarnings) {
    // Calls on several threads at once: what one pack leaves out is said to
    // that call alone.
    TempDir dir;
    ConfigHome config;
    constexpr int kThreads = 4;
    for (int i = 0; i < kThreads; ++i) {
        const fs::path in = dir / ("in-" + std::to_string(i));
        fs::create_directories(in);
        writeText(in / "a.txt", "a");
        ASSERT_EQ(::mkfifo((in / ("pipe-" + std::to_string(i))).c_str(), 0600), 0);
    }
    std::vector<Result> results(kThreads * 3);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 3; ++round) {
                const std::string name = std::to_string(i) + "-" + std::to_string(round);
                results[i * 3 + round] = run("u -a1 -r2 " + arg(dir / (name + ".lzh")) + " " +
                                             arg(dir / ("in-" + std::to_string(i))));
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kThreads * 3; ++i) {
        const Result& r = results[i];
        EXPECT_EQ(r.code, UNLHA_OK) << r.reason;
        const std::string mine = "pipe-" + std::to_string(i / 3);
        EXPECT_NE(r.reason.find("警告: 特殊ファイルは格納しません: "), std::string::npos)
            << r.reason;
        EXPECT_NE(r.reason.find(mine), std::string::npos) << r.reason;
        EXPECT_EQ(std::count(r.reason.begin(), r.reason.end(), '\n'), 1) << r.reason;
    }
}

}  // namespace
}  // namespace unlhatest
