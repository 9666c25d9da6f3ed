// Packages for a Windows recipient, opened by their Windows front under Wine:
// from a console with a password option, as scripts run them, and once by a
// double-click, through the password dialog and the outcome box.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "build_tree.h"
#include "rivo.h"
#include "support.h"

using namespace dozo::test;
using namespace dozo::rivo;

namespace {

// The Wine of the test run (the rivo_wine fixture: tests/rivo/wine-prefix.sh).
fs::path wineDir() {
    return fs::path(dozo::test::buildTree()) / "tests" / "wine";
}

// Runs a Windows program under Wine with no display, as a script would. Wine
// takes file names in the locale's character set: C.UTF-8 unless a test
// chooses, as any Wine user has. Its folders under TMPDIR stay in the
// fixture's.
RunResult wine(const fs::path& program, std::vector<std::string> args, RunOptions options = {}) {
    args.insert(args.begin(), program.string());
    options.env.insert({{"WINEPREFIX", (wineDir() / "prefix").string()},
                        {"WINEDEBUG", "-all"},
                        {"TMPDIR", (wineDir() / "tmp").string()},
                        {"LANG", "C.UTF-8"}});
    return run(DOZO_WINE64, args, options);
}

class RivoWindows : public ::testing::Test {
protected:
    void SetUp() override {
        if (*DOZO_RIVO_WINDOWS_MISSING != '\0')
            GTEST_SKIP() << "the Windows front is not built: " << DOZO_RIVO_WINDOWS_MISSING;
        if (fs::exists(wineDir() / "skip")) {
            const Bytes why = readFile(wineDir() / "skip");
            GTEST_SKIP() << std::string(why.begin(), why.end());
        }
        if (!fs::exists(wineDir() / "ready"))
            GTEST_SKIP() << "no Wine prefix: run through ctest (fixture rivo_wine)";
        fs::create_directory(out);
    }

    // A package for a Windows recipient; the source is gone afterwards.
    fs::path pack(const std::string& name, const Bytes& content, const char* password = "pw") {
        writeFile(dir / name, content);
        const fs::path package = dir / "package.exe";
        EXPECT_EQ(
            rivoFor(nullptr, (dir / name).c_str(), package.c_str(), password, RIVO_FOR_WINDOWS),
            RIVO_OK);
        fs::remove(dir / name);
        return package;
    }

    RunResult open(const fs::path& package, const std::string& password,
                   std::vector<std::string> args = {}) {
        args.insert(args.end(), {"--password-stdin", "-o", "Z:" + out.string()});
        return wine(package, args, RunOptions::input(password + "\n"));
    }

    TempDir dir;
    fs::path out = dir / "out";
};

// Nothing is written for a wrong password or any damaged byte: not the file,
// not a temporary beside it.
TEST_F(RivoWindows, AWrongPasswordOrADamagedByteWritesNothing) {
    const Bytes good = readFile(pack("secret.txt", randomBytes(200000, 3)));
    const Bytes stub = stubOf(good);
    const std::size_t payload = stub.size();
    const struct {
        const char* what;
        std::size_t offset;  // flipped; SIZE_MAX: none
        const char* password;
        int code;
    } cases[] = {
        {"wrong password", SIZE_MAX, "wrong", 1},
        {"header", payload + 48, "pw", 3},
        {"sealed metadata", payload + kHeaderSize + 40, "pw", 3},
        {"payload", payload + kHeaderSize + kSealedMetadataSize + 70000, "pw", 3},
        {"trailer", good.size() - 1, "pw", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = good;
        if (c.offset != SIZE_MAX) bytes[c.offset] ^= 0x02;
        writeFile(dir / "variant.exe", bytes, 0755);
        const RunResult r = open(dir / "variant.exe", c.password);
        EXPECT_EQ(r.exitCode, c.code) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(listDir(out).empty());
    }
}

// Restored byte for byte under its name, or, where Windows cannot hold the
// stored name or takes it for something else, under a safe one, and the
// output says so.
TEST_F(RivoWindows, RestoresByteForByteUnderASafeName) {
    const Bytes stub = stubOf(readFile(pack("x", {1})));
    const struct {
        std::string stored, lands;  // lands empty: under the stored name
        std::size_t size = 3;
    } cases[] = {
        {"日本語の報告書 (第1版).txt", "", 100000},
        {"empty", "", 0},
        {"large.bin", "", 64u << 20},
        {"CON", "_CON"},
        {"con.txt", "_con.txt"},
        {"NUL .tar.gz", "_NUL .tar.gz"},
        {"lpt9.doc", "_lpt9.doc"},
        {"COM\xc2\xb9.txt", "_COM\xc2\xb9.txt"},
        {"COM10.txt", ""},
        {"report.", "report_"},
        {"notes . ", "notes___"},
        {"..", "__"},
        {"a<b>c:d\"e|f?g*h\\i/j", "a_b_c_d_e_f_g_h_i_j"},
        {"tab\there\x01", "tab_here_"},
        {"日本語.txt:hidden:$DATA", "日本語.txt_hidden_$DATA"},
        {"bad\xff.txt", "bad%FF.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        const std::string lands = c.lands.empty() ? c.stored : c.lands;
        Craft craft;
        craft.meta.name = c.stored;
        craft.meta.size = c.size;
        craft.content = randomBytes(c.size, static_cast<unsigned>(c.size));
        writeFile(dir / "variant.exe", craftPackage(stub, craft), 0755);
        const RunResult r = open(dir / "variant.exe", "pw");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("Restored Z:"), std::string::npos) << r.out;
        ASSERT_EQ(listDir(out), std::set<std::string>{lands});
        EXPECT_TRUE(readFile(out / lands) == craft.content);
        EXPECT_EQ(r.out.find("cannot be used here") != std::string::npos, !c.lands.empty())
            << r.out;
        fs::remove(out / lands);
    }
}

TEST_F(RivoWindows, AnExistingFileIsKeptUnlessForced) {
    const Bytes content = randomBytes(1000, 5);
    const fs::path package = pack("kept.txt", content);
    const Bytes old{'o', 'l', 'd'};
    writeFile(out / "kept.txt", old);
    RunResult r = open(package, "pw");
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("use -f"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(out / "kept.txt"), old);
    EXPECT_EQ(listDir(out), std::set<std::string>{"kept.txt"});
    r = open(package, "pw", {"-f"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(out / "kept.txt"), content);
}

TEST_F(RivoWindows, OptionsThatOnlyPrint) {
    const fs::path package = pack("i", randomBytes(10, 6));
    const struct {
        std::vector<std::string> args;
        int code;
        std::vector<std::string> says;
    } cases[] = {
        {{"--info"}, 0, {"Runs on:          Windows (x86-64)", "Content size:     10 bytes"}},
        {{"--licenses"}, 0, {"libsodium 1.", "ISC License", "mingw-w64 runtime", "winpthreads"}},
        {{"--version"}, 0, {"Dozo package 1.0 (format 1)"}},
        {{"--help"}, 0, {"--password-stdin", "4 output exists"}},
        {{"--bogus"}, 2, {"--bogus"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const RunResult r = wine(package, c.args);
        EXPECT_EQ(r.exitCode, c.code) << r.err;
        for (const std::string& part : c.says)
            EXPECT_NE((r.out + r.err).find(part), std::string::npos) << r.out << r.err;
    }
}

// An X display of its own, for the one test that double-clicks.
class Display {
public:
    Display() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        if ((pid_ = ::fork()) == 0) {
            ::dup2(fds[1], 1);
            ::execl(DOZO_XVFB, DOZO_XVFB, "-displayfd", "1", "-screen", "0", "1024x768x24",
                    "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The server writes its number once it listens.
        std::FILE* in = ::fdopen(fds[0], "r");
        char number[16] = {};
        if (std::fgets(number, sizeof number, in) != nullptr && std::strchr(number, '\n'))
            name_ = ":" + std::string(number, std::strcspn(number, "\n"));
        std::fclose(in);
    }
    ~Display() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// Double-clicked: the password typed into the dialog (once wrong), Enter, and
// the outcome read from the box the user sees, in Japanese. The package and
// the probe that reads its windows share a Wine desktop of their own (see
// wine-prefix.sh), on this test's display.
TEST_F(RivoWindows, OpenedByADoubleClickAsksInADialogAndTellsTheOutcomeInABox) {
    const std::string probeProgram =
        *DOZO_RIVO_PROBE == '\0' ? std::string() : dozo::test::inBuildTree(DOZO_RIVO_PROBE);
    for (const std::string tool : {DOZO_XVFB, DOZO_XDOTOOL, probeProgram.c_str()})
        if (tool.empty() || !fs::exists(tool)) GTEST_SKIP() << "needs Xvfb, xdotool and the probe";
    if (!fs::exists(wineDir() / "locale")) GTEST_SKIP() << "no ja_JP.UTF-8 locale for Wine";
    const Display display;
    ASSERT_FALSE(display.name().empty());
    const Bytes content = randomBytes(5000, 7);
    const fs::path package = dir / "rivo-dialog-test.exe";
    fs::rename(pack("日本語.txt", content, "right one"), package);
    RunOptions env = RunOptions::environment({{"DISPLAY", display.name()},
                                              {"LANG", "ja_JP.UTF-8"},
                                              {"LOCPATH", (wineDir() / "locale").string()}});
    env.guardSeconds = 90;

    const pid_t clicked = ::fork();
    if (clicked == 0) {
        const RunResult r = wine(package, {}, env);
        ::_exit(r.exitCode < 0 ? 99 : r.exitCode);
    }
    // The probe waits for a window that shows `find` and presses `press`.
    const auto probe = [&](const std::string& find, const std::string& press) {
        return wine(probeProgram, {find, press, "60"}, env);
    };
    const auto typeInto = [&](const std::string& password) {
        const RunResult asked = probe("パスワードを表示する(&S)", "-");
        ASSERT_EQ(asked.exitCode, 0) << asked.out;
        RunOptions x = RunOptions::environment({{"DISPLAY", display.name()}});
        x.guardSeconds = 60;
        const RunResult desktop =
            run(DOZO_XDOTOOL, {"search", "--sync", "--name", "Wine desktop"}, x);
        ASSERT_EQ(desktop.exitCode, 0) << desktop.err;
        const std::string window = desktop.out.substr(0, desktop.out.find('\n'));
        EXPECT_EQ(run(DOZO_XDOTOOL, {"windowfocus", "--sync", window}, x).exitCode, 0);
        EXPECT_EQ(run(DOZO_XDOTOOL, {"type", "--delay", "20", password}, x).exitCode, 0);
        EXPECT_EQ(run(DOZO_XDOTOOL, {"key", "Return"}, x).exitCode, 0);
    };

    typeInto("wrong");
    RunResult box = probe("パスワードが違います。もう一度入力してください。", "OK");
    EXPECT_EQ(box.exitCode, 0) << box.out;
    typeInto("right one");
    box = probe("フォルダーを開く(&O)", "OK");
    EXPECT_EQ(box.exitCode, 0) << box.out;
    std::string folder = "Z:" + dir.path().string();
    std::ranges::replace(folder, '/', '\\');
    EXPECT_NE(box.out.find("日本語.txt を復元しました。\nフォルダー: " + folder + "\n"),
              std::string::npos)
        << box.out;

    int status = 0;
    ::waitpid(clicked, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readFile(dir / "日本語.txt"), content);
}

}  // namespace
