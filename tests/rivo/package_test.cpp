// Packages made by the real library and opened by running them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "files.h"
#include "leftover.h"
#include "loaded_library.h"
#include "rivo.h"
#include "support.h"
#include "terminal.h"

using namespace dozo::test;

namespace {

// Runs body in a child whose /proc is an empty tmpfs of a private mount
// namespace; 77 when the system does not let it hide /proc.
int withoutProc(const std::function<int()>& body) {
    return runInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", "/proc", "tmpfs", 0, "size=64k") != 0)
            return 77;
        return body();
    });
}

class RivoPackage : public ::testing::Test {
protected:
    // The source is gone afterwards, as on the machine a package is sent to.
    fs::path pack(const std::string& name, const Bytes& content, const char* password = "pw",
                  mode_t mode = 0644) {
        const fs::path source = dir / name;
        writeFile(source, content, mode);
        const fs::path package = dir / (name + ".exe");
        EXPECT_EQ(rivo(nullptr, source.c_str(), package.c_str(), password), RIVO_OK);
        fs::remove(source);
        return package;
    }

    // Runs a package as a file manager starts it: no terminal, a desktop
    // session, and only the stand-ins of `bin` on PATH.
    RunResult onDesktop(const fs::path& package, std::map<std::string, std::string> env = {},
                        const std::vector<std::string>& args = {}) {
        env.try_emplace("DISPLAY", display.name());
        env.try_emplace("PATH", bin.string());
        return run(package, args, RunOptions::environment(std::move(env)));
    }

    // A stand-in program (writeDialog) in `bin`, its log started afresh.
    void standIn(const std::string& tool, const std::string& answer, int status = 0,
                 int questionStatus = 0) {
        fs::create_directories(bin);
        fs::remove(log);
        writeDialog(bin / tool, log, answer, status, questionStatus);
    }

    TempDir dir;
    const FakeDisplay display;
    const fs::path bin = dir / "bin", log = dir / "log";
};

TEST_F(RivoPackage, RoundTripsAtChunkEdges) {
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 3u * 1024 * 1024 + 5}) {
        SCOPED_TRACE(size);
        const Bytes content = randomBytes(size, static_cast<unsigned>(size));
        const fs::path package = pack("f" + std::to_string(size), content);
        EXPECT_EQ(fs::status(package).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);

        const fs::path out = dir / ("out" + std::to_string(size));
        fs::create_directory(out);
        const RunResult r = openPackage(package, "pw", {"-o", out});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(listDir(out), std::set<std::string>{"f" + std::to_string(size)});
        EXPECT_EQ(readFile(out / ("f" + std::to_string(size))), content);
    }
}

TEST_F(RivoPackage, RestoresNextToItselfWithNameModeAndTime) {
    const std::string name = "日本語の名前 (1).txt";
    const Bytes content = randomBytes(1000, 1);
    writeFile(dir / name, content);
    ::chmod((dir / name).c_str(), 0640);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), times, 0), 0);
    const fs::path sub = dir / "sub";
    fs::create_directory(sub);
    const fs::path package = sub / "pkg.exe";
    ASSERT_EQ(rivo(nullptr, (dir / name).c_str(), package.c_str(), "pw"), RIVO_OK);

    const RunResult r = openPackage(package, "pw");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listDir(sub), (std::set<std::string>{"pkg.exe", name}));
    EXPECT_EQ(readFile(sub / name), content);
    struct stat st {};
    ASSERT_EQ(::stat((sub / name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
}

// A restored file is a new file of the user's: the umask applies, and set-id
// or sticky bits stored in a package are never granted.
TEST_F(RivoPackage, RestoredModeFollowsTheUmaskWithoutSpecialBits) {
    struct Case {
        mode_t stored, mask, expected;
    };
    const Case cases[] = {
        {0666, 077, 0600}, {04755, 022, 0755}, {02775, 002, 0775},
        {01777, 0, 0777},  {0640, 0, 0640},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << c.stored << " under " << c.mask);
        const fs::path source = dir / "m", package = pack("m", {1, 2, 3}, "pw", c.stored);
        const mode_t saved = ::umask(c.mask);
        const RunResult r = openPackage(package, "pw");
        ::umask(saved);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(modeOf(source) & 07777, c.expected);
        fs::remove(source);
        fs::remove(package);
    }
}

// A write or restore killed between naming its temporary and renaming it
// leaves a full hidden copy (for a restore, the plaintext). The next write or
// restore into that folder removes what dead processes of ours left, and
// nothing a user named, however much like a leftover.
TEST_F(RivoPackage, NextWriteOrRestoreRemovesLeftoversOfKilledRuns) {
    const std::string dead = std::to_string(dozo::test::deadPid());
    const std::string users = ".secret.dozo-" + dead + "-0";
    for (bool restoring : {false, true}) {
        SCOPED_TRACE(restoring ? "restore" : "write");
        const fs::path here = dir / (restoring ? "r" : "w");
        fs::create_directory(here);
        const Bytes content = randomBytes(5000, 13);
        writeFile(here / "secret", content);
        if (restoring) {
            ASSERT_EQ(rivo(nullptr, (here / "secret").c_str(), (here / "secret.exe").c_str(), "pw"),
                      RIVO_OK);
            fs::remove(here / "secret");
        }
        for (const char* name : {"secret", "secret.exe"})
            ASSERT_FALSE(dozo::test::killedWriter(here, name).empty());
        ASSERT_FALSE(dozo::test::killedWriter(here, "a.lzh", dozo::fileio::kTagUnlha).empty());
        // Named like a leftover by the user: no writer of ours made it.
        writeFile(here / users, content);

        if (restoring) {
            const RunResult r = openPackage(here / "secret.exe", "pw");
            ASSERT_EQ(r.exitCode, 0) << r.err;
        } else {
            ASSERT_EQ(rivo(nullptr, (here / "secret").c_str(), (here / "secret.exe").c_str(), "pw"),
                      RIVO_OK);
        }
        EXPECT_EQ(listDir(here), (std::set<std::string>{"secret", "secret.exe", users}));
        EXPECT_EQ(readFile(here / "secret"), content);
    }
}

TEST_F(RivoPackage, PasswordIsOpaqueBytesAndAWrongOneWritesNothing) {
    const Bytes content = randomBytes(200000, 2);
    const std::string password = "  パス word\t\r ";
    const fs::path package = pack("x", content, password.c_str());
    const auto before = listDir(dir);
    for (const std::string& wrong :
         std::vector<std::string>{"wrong", "パス word", "  パス word\t ", password + " "}) {
        const RunResult r = openPackage(package, wrong);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find("Wrong password"), std::string::npos) << r.err;
        EXPECT_EQ(listDir(dir), before);
    }
    const RunResult r = openPackage(package, password);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir / "x"), content);
}

// The key cost is fixed when the library is built: the shipped library makes
// full-cost packages whatever its caller's environment says, and only the
// test build these tests link makes cheap ones.
TEST_F(RivoPackage, OnlyTheTestBuildLowersTheKeyCost) {
    ::setenv("DOZO_RIVO_TEST_KDF", "fast", 1);
    const dozo::test::Library shipped("librivo.so");
    using Rivo = decltype(rivo);
    const struct {
        const char* build;
        Rivo* make;
        std::uint32_t ops, memKib;
    } cases[] = {
        {"shipped", shipped.get<Rivo>("rivo"), 3, 262144},
        {"test", &rivo, 1, 8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.build);
        const Bytes content = randomBytes(70000, 4);
        writeFile(dir / "cost", content);
        const fs::path package = dir / "cost.exe";
        ASSERT_EQ(c.make(nullptr, (dir / "cost").c_str(), package.c_str(), "pw"), RIVO_OK);
        const Bytes bytes = readFile(package);
        dozo::rivo::Header h;
        ASSERT_EQ(dozo::rivo::parseHeader(bytes.data() + stubOf(bytes).size(), h),
                  dozo::rivo::ParseError::none);
        EXPECT_EQ(h.opslimit, c.ops);
        EXPECT_EQ(h.memlimitKib, c.memKib);
        const RunResult info = run(package, {"--info"});
        EXPECT_NE(
            info.out.find(std::to_string(c.ops) + " passes, " + std::to_string(c.memKib) + " KiB"),
            std::string::npos)
            << info.out;
        fs::remove(dir / "cost");
        const RunResult r = openPackage(package, "pw");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readFile(dir / "cost"), content);
        fs::remove(dir / "cost");
        fs::remove(package);
    }
    ::unsetenv("DOZO_RIVO_TEST_KDF");
}

TEST_F(RivoPackage, ExistingFileNeedsForceAndSymlinksAreNeverFollowed) {
    const Bytes content = randomBytes(100, 5);
    const fs::path package = pack("data", content);
    const Bytes victim = {'v', 'i', 'c', 't', 'i', 'm'};

    // A file at the name: refused, left alone.
    writeFile(dir / "data", victim);
    RunResult r = openPackage(package, "pw");
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(readFile(dir / "data"), victim);

    // A link at the name: without -f refused, with -f the link itself is replaced.
    fs::remove(dir / "data");
    writeFile(dir / "victim", victim);
    fs::create_symlink("victim", dir / "data");
    r = openPackage(package, "pw");
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "data"));
    r = openPackage(package, "pw", {"-f"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::is_symlink(dir / "data"));
    EXPECT_EQ(readFile(dir / "data"), content);
    EXPECT_EQ(readFile(dir / "victim"), victim);

    // A dangling link is an entry too.
    fs::remove(dir / "data");
    fs::create_symlink("nowhere/else", dir / "data");
    EXPECT_EQ(openPackage(package, "pw").exitCode, 4);
    EXPECT_FALSE(fs::exists(dir / "nowhere"));

    // -f onto a directory fails without touching it.
    fs::remove(dir / "data");
    fs::create_directory(dir / "data");
    writeFile(dir / "data" / "inside", victim);
    r = openPackage(package, "pw", {"-f"});
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_EQ(readFile(dir / "data" / "inside"), victim);
    EXPECT_EQ(listDir(dir), (std::set<std::string>{"data", "data.exe", "victim"}));
}

TEST_F(RivoPackage, TestModeAndInfoWriteNothing) {
    const Bytes content = randomBytes(300000, 6);
    const fs::path package = pack("t.bin", content);
    const auto before = listDir(dir);

    RunResult r = openPackage(package, "pw", {"--test"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("300000"), std::string::npos) << r.out;
    EXPECT_EQ(openPackage(package, "nope", {"-t"}).exitCode, 1);

    r = run(package, {"--info"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Content size:     300000 bytes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Package size:     " + std::to_string(fs::file_size(package))),
              std::string::npos)
        << r.out;
    EXPECT_EQ(listDir(dir), before);
}

TEST_F(RivoPackage, PasswordSources) {
    const Bytes content = randomBytes(10, 7);
    const fs::path package = pack("p", content, "line one");
    const fs::path out = dir / "out";
    fs::create_directory(out);

    // First line only; only the newline is stripped.
    writeFile(dir / "pwfile", Bytes{'l', 'i', 'n', 'e', ' ', 'o', 'n', 'e', '\n', 'x', '\n'});
    RunResult r = run(package, {"--password-file", (dir / "pwfile").string(), "-t"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = run(package, {"--password-file=" + (dir / "missing").string()});
    EXPECT_EQ(r.exitCode, 5);
    r = run(package, {"--password-stdin", "-o", out.string()}, RunOptions::input("line one"));
    EXPECT_EQ(r.exitCode, 0) << r.err;  // no newline at the end of input
    EXPECT_EQ(readFile(out / "p"), content);
    r = run(package, {"--password-stdin", "-t"}, RunOptions::input(""));
    EXPECT_EQ(r.exitCode, 6);
    r = run(package, {"--password-stdin", "-t"}, RunOptions::input(std::string(5000, 'a') + "\n"));
    EXPECT_EQ(r.exitCode, 1);
}

// A password file is used as the bytes it holds, whatever their encoding: a
// Shift_JIS password opens the package made with those bytes, and neither its
// UTF-8 spelling nor what a conversion to UTF-8 makes of it does.
TEST_F(RivoPackage, PasswordFileBytesAreUsedAsGiven) {
    const Bytes sjis = hex("83 70 83 58 83 8f 81 5b 83 68 95 5c");  // パスワード表
    const std::string password(sjis.begin(), sjis.end());
    const Bytes content = randomBytes(100, 17);
    const fs::path package = pack("sjis", content, password.c_str());
    const struct {
        const char* what;
        Bytes file;
        int code;
    } cases[] = {
        {"UTF-8", hex("e3 83 91 e3 82 b9 e3 83 af e3 83 bc e3 83 89 e8 a1 a8 0a"), 1},
        {"invalid bytes replaced", hex("ef bf bd 70 ef bf bd 58 ef bf bd ef bf bd 0a"), 1},
        {"Shift_JIS", hex("83 70 83 58 83 8f 81 5b 83 68 95 5c 0a"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir / "pwfile", c.file);
        const RunResult r = run(package, {"--password-file", (dir / "pwfile").string()});
        EXPECT_EQ(r.exitCode, c.code) << r.err;
    }
    EXPECT_EQ(readFile(dir / "sjis"), content);
}

// A password source that never ends a line is read up to one byte past the
// longest password and refused, not read for ever.
TEST_F(RivoPackage, OverlongPasswordLinesAreRefusedAtTheLimit) {
    const fs::path package = pack("long", randomBytes(10, 18));
    writeFile(dir / "exact", Bytes(RIVO_PASSWORD_MAX, 'p'));
    writeFile(dir / "over", Bytes(RIVO_PASSWORD_MAX + 1, 'p'));
    const struct {
        std::string file;
        const char* says;
    } cases[] = {
        {"/dev/zero", "longer than 1024 bytes"},
        {(dir / "over").string(), "longer than 1024 bytes"},
        {(dir / "exact").string(), "Wrong password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        RunOptions o;
        o.guardSeconds = 20;
        const RunResult r = run(package, {"--password-file", c.file, "-t"}, o);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

TEST_F(RivoPackage, WithoutTerminalOrDesktopItExplains) {
    const fs::path package = pack("q", randomBytes(10, 8));
    // The child runs in a new session: there is no /dev/tty to prompt on. The
    // last row is a desktop session without any dialog program on PATH.
    const struct {
        std::map<std::string, std::string> env;
        std::string says;
    } cases[] = {
        {{}, "--password-stdin"},
        {{{"LANG", "ja_JP.UTF-8"}}, "パスワードで保護されたパッケージです"},
        {{{"DISPLAY", ":99"}, {"PATH", dir.path().string()}}, ""},
    };
    for (const auto& c : cases) {
        const RunResult r = run(package, {}, RunOptions::environment(c.env));
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "q"));
}

// Started from a file manager: no terminal, a desktop session. The question
// names the package and its folder, and the outcome comes back in a dialog
// of the same program, in the user's language; a Cancel shows nothing more.
TEST_F(RivoPackage, AsksAndAnswersThroughADialogWithoutATerminal) {
    const Bytes content = randomBytes(10, 9), old{'o', 'l', 'd'};
    const fs::path package = pack("z_1", content, "from dialog");
    const struct {
        const char* tool;
        std::string answer;
        int status;
        int existing;  // -1 none; else the answer to "replace it?": 0 yes, 1 no
        std::string lang;
        int code;
        std::vector<std::string> outcome;  // what the last call holds; empty: none
    } cases[] = {
        {"zenity", "from dialog", 0, -1, "C", 0, {"--info", "Restored"}},
        {"zenity", "wrong", 0, -1, "C", 1, {"--error", "Wrong password"}},
        {"zenity", "from dialog", 0, 0, "C", 0, {"--info", "Restored"}},
        {"zenity", "from dialog", 0, 1, "C", 4, {"--error", "was kept; nothing was written"}},
        {"zenity", "from dialog", 0, -1, "ja_JP.UTF-8", 0, {"--info", "を復元しました"}},
        {"zenity", "", 1, -1, "C", 6, {}},
        {"kdialog", "from dialog", 0, -1, "C", 0, {"--msgbox", "Restored"}},
        {"kdialog", "wrong", 0, -1, "C", 1, {"--error", "Wrong password"}},
        {"kdialog", "from dialog", 0, 1, "C", 4, {"--error", "was kept"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.tool << " " << c.answer << " " << c.existing << " " << c.lang);
        const bool zenity = c.tool == std::string("zenity");
        fs::remove_all(bin);
        fs::remove(dir / "z_1");
        if (c.existing >= 0) writeFile(dir / "z_1", old);
        standIn(c.tool, c.answer, c.status, c.existing);
        const RunResult r = onDesktop(package, {{"LANG", c.lang}});
        EXPECT_EQ(r.exitCode, c.code) << r.err;
        const auto calls = dialogCalls(log);
        ASSERT_EQ(calls.size(), 1u + (c.existing >= 0) + !c.outcome.empty()) << r.err;
        // zenity doubles underscores (its mnemonics); kdialog shows them as they are.
        EXPECT_TRUE(hasArgument(calls[0], zenity ? "z__1.exe" : "z_1.exe")) << calls[0].back();
        EXPECT_TRUE(hasArgument(calls[0], dir.path().string())) << calls[0].back();
        if (c.existing >= 0) {
            EXPECT_TRUE(hasArgument(calls[1], zenity ? "--question" : "--yesno"));
            EXPECT_TRUE(hasArgument(calls[1], "z_1 already exists")) << calls[1].back();
        }
        for (const std::string& part : c.outcome)
            EXPECT_TRUE(hasArgument(calls.back(), part)) << part;
        for (std::size_t i = 1; i < calls.size(); ++i) {
            // zenity shows these texts as given; a double-clicking user has no option to give.
            EXPECT_TRUE(!zenity || hasArgument(calls[i], "--no-markup")) << calls[i].back();
            EXPECT_FALSE(hasArgument(calls[i], "-f")) << calls[i].back();
        }
        if (c.code == 0 || c.existing >= 0) {
            EXPECT_EQ(readFile(dir / "z_1"), c.code == 0 ? content : old);
        } else {
            EXPECT_FALSE(fs::exists(dir / "z_1"));
        }
    }
    // A package found damaged before any question says so in a dialog too.
    Bytes damaged = readFile(package);
    damaged.pop_back();
    writeFile(dir / "damaged.exe", damaged, 0755);
    fs::remove(log);
    EXPECT_EQ(onDesktop(dir / "damaged.exe").exitCode, 3);
    const auto calls = dialogCalls(log);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(hasArgument(calls[0], "--error"));
}

// kdialog takes text that looks like markup as markup: a package named
// "statement.pdf<!-- hidden .exe" would show as "statement.pdf" and hide its
// folder. Names reach it as text, whatever they hold.
TEST_F(RivoPackage, KdialogShowsNamesAsText) {
    const fs::path folder = dir / "a&b <i>";
    fs::create_directory(folder);
    const fs::path package = folder / "statement.pdf<!-- hidden .exe";
    fs::rename(pack("k", randomBytes(10, 21)), package);
    standIn("kdialog", "pw");
    const RunResult r = onDesktop(package);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto calls = dialogCalls(log);
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls) {
        EXPECT_FALSE(hasArgument(call, "<!--")) << call.back();
        EXPECT_FALSE(hasArgument(call, "<i>")) << call.back();
    }
    EXPECT_TRUE(hasArgument(calls[0], "statement.pdf&lt;!-- hidden .exe")) << calls[0].back();
    EXPECT_TRUE(hasArgument(calls[0], "a&amp;b &lt;i&gt;")) << calls[0].back();
}

// On a desktop with neither zenity nor kdialog the package opens itself in
// the desktop's terminal, where it asks, and keeps the window open until the
// outcome was read; with no terminal either it stays silent.
TEST_F(RivoPackage, WithoutADialogProgramItAsksInATerminalWindow) {
    const Bytes content = randomBytes(10, 22);
    const fs::path package = pack("t", content, "typed");
    RunResult r = onDesktop(package);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_FALSE(fs::exists(log));

    // The stand-in terminal logs what it was asked to run, and the test runs
    // that on a terminal of its own.
    standIn("x-terminal-emulator", "");
    r = onDesktop(package, {}, {"-o", dir / "out"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto calls = dialogCalls(log);
    ASSERT_EQ(calls.size(), 1u);
    std::vector<std::string> command = calls[0];
    ASSERT_GE(command.size(), 2u);
    ASSERT_EQ(command[0], "-e");
    command.erase(command.begin());
    EXPECT_EQ(command[0], "/bin/sh");
    EXPECT_TRUE(std::ranges::count(command, package.string()) == 1);
    fs::create_directory(dir / "out");
    TerminalSession terminal(command,
                             environmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "LANG", "LC_ALL"}));
    ASSERT_TRUE(terminal.waitFor("Password for t.exe: ")) << terminal.seen;
    terminal.type("typed\n");
    ASSERT_TRUE(terminal.waitFor("Press Enter")) << terminal.seen;
    EXPECT_EQ(readFile(dir / "out" / "t"), content);
    terminal.type("\n");
    EXPECT_EQ(terminal.exitStatus(), 0) << terminal.seen;
}

// A dialog that cannot show is not a Cancel: a display nobody serves, or a
// dialog that fails, ends in the explanation, and says no dialog could be
// shown where that is what happened.
TEST_F(RivoPackage, ADisplayThatCannotShowADialogIsSaidSo) {
    const fs::path package = pack("d", randomBytes(10, 15), "pw");
    const FakeDisplay refusing(FakeDisplay::Kind::refusing);
    const std::string unserved = refusing.name();
    const struct {
        std::string display;
        int dialogStatus;  // zenity exits 1 when GTK cannot open the display
        std::string says;
        std::size_t calls;
    } cases[] = {
        {unserved, 1, "No dialog could be shown: the display " + unserved, 0},
        {display.name(), 255, "--password-stdin", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        standIn("zenity", "pw", c.dialogStatus);
        const RunResult r = onDesktop(package, {{"DISPLAY", c.display}});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--password-stdin"), std::string::npos) << r.err;
        EXPECT_EQ(dialogCalls(log).size(), c.calls);
    }
    EXPECT_FALSE(fs::exists(dir / "d"));
}

// The outcome box says what the terminal would, escapes included: zenity
// shows an --error or --info text given with --no-markup as it is, so a
// name escaped for the terminal is not escaped a second time.
TEST_F(RivoPackage, TheOutcomeBoxShowsNamesAsTheTerminalDoes) {
    const Bytes content = randomBytes(10, 20);
    const fs::path folder = dir / "back\\slash";
    fs::create_directory(folder);
    const fs::path package = folder / "odd.exe";
    fs::rename(pack("odd\xff", content), package);
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing);
        // An existing file is kept when asked: the outcome is that it was kept.
        standIn("zenity", "pw", 0, 1);
        fs::remove(folder / "odd\xff");
        if (existing) writeFile(folder / "odd\xff", {'o', 'l', 'd'});
        const RunResult r = onDesktop(package);
        EXPECT_EQ(r.exitCode, existing ? 4 : 0) << r.err;
        const std::string said = existing ? r.err : r.out;
        ASSERT_NE(said.find("back\\\\slash/odd\\xff"), std::string::npos) << said;
        const auto calls = dialogCalls(log);
        ASSERT_EQ(calls.size(), existing ? 3u : 2u) << r.err;
        EXPECT_TRUE(hasArgument(calls.back(), "--no-markup"));
        // The stand-in logs a line per line of an argument: the text's last
        // newline ends a line of its own.
        const std::string line = "--text=" + said.substr(0, said.size() - 1);
        EXPECT_EQ(std::ranges::count(calls.back(), line), 1) << line;
    }
    EXPECT_EQ(readFile(folder / "odd\xff"), Bytes({'o', 'l', 'd'}));
}

// Empty and relative PATH entries name the folder the package was started
// in; a dialog program planted there never runs.
TEST_F(RivoPackage, DialogsAreFoundInAbsolutePathEntriesOnly) {
    const fs::path package = pack("r", randomBytes(10, 16), "pw");
    fs::create_directory(dir / "rel");
    for (const char* planted : {"zenity", "kdialog", "rel/zenity"})
        writeDialog(dir / planted, log, "pw");
    const std::string none = (dir / "none").string();  // absolute, and empty
    fs::create_directory(none);
    for (const std::string& path :
         {std::string(), ":" + none, none + "::" + none, std::string("."), "rel:" + none}) {
        SCOPED_TRACE(path);
        RunOptions o = RunOptions::environment({{"DISPLAY", display.name()}, {"PATH", path}});
        o.cwd = dir.path().string();
        const RunResult r = run(package, {}, o);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_FALSE(fs::exists(log));
    }
}

// Every package carries a static glibc and libsodium: --licenses shows both
// notices and asks for nothing, even with no terminal and no input.
TEST_F(RivoPackage, LicensesShowsBothNoticesWithoutAsking) {
    const fs::path package = pack("l", randomBytes(10, 19));
    const RunResult r = run(package, {"--licenses"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* part :
         {"GNU C Library (glibc) 2.", "GNU Lesser General Public License",
          "version 2.1 of the License, or (at your", "sources.debian.org/src/glibc", "libsodium 1.",
          "ISC License", "ISC DISCLAIMS ALL WARRANTIES"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part;
    EXPECT_EQ(listDir(dir), std::set<std::string>{"l.exe"});
}

TEST_F(RivoPackage, OptionsAndMessages) {
    const fs::path package = pack("m", randomBytes(10, 10));
    const struct {
        std::vector<std::string> args;
        int code;
        std::string inOut, inErr;
    } cases[] = {
        {{"--help"}, 0, "--password-stdin", ""},
        {{"--version"}, 0, "format 1", ""},
        {{"--info"}, 0, "Runs on:          Linux (x86-64)", ""},
        {{"--help"}, 0, "--licenses", ""},
        {{"--bogus"}, 2, "", "--bogus"},
        {{"extra"}, 2, "", "extra"},
        {{"-o"}, 2, "", "-o"},
        {{"--password-stdin", "--password-file", "x"}, 2, "", "--password-file"},
        {{"-o", "/nonexistent/folder", "--password-stdin"}, 5, "", "/nonexistent/folder"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(package, c.args, RunOptions::input("pw\n"));
        EXPECT_EQ(r.exitCode, c.code) << c.args[0];
        EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
    }
    const RunResult ja =
        run(package, {"--help"}, RunOptions::environment({{"LC_ALL", "ja_JP.UTF-8"}}));
    EXPECT_NE(ja.out.find("使い方"), std::string::npos);
    // LC_ALL decides over LANG.
    const RunResult en =
        run(package, {"--help"}, RunOptions::environment({{"LC_ALL", "C"}, {"LANG", "ja_JP"}}));
    EXPECT_NE(en.out.find("Usage"), std::string::npos);
}

// Without /proc the stub finds itself through argv[0] and writes through a
// hidden named temporary instead of an unnamed one; it must still leave only
// the finished file. /proc is hidden in a private mount namespace of a child.
TEST_F(RivoPackage, WorksWithoutProc) {
    const Bytes content = randomBytes(100000, 12);
    const fs::path package = pack("np", content);
    const int status = withoutProc([&] {
        const std::set<std::string> done{"np", "np.exe"};
        if (openPackage(package, "nope").exitCode != 1 ||
            listDir(dir) != std::set<std::string>{"np.exe"})
            return 1;
        if (openPackage(package, "pw").exitCode != 0 || listDir(dir) != done) return 2;
        if (openPackage(package, "pw").exitCode != 4 || listDir(dir) != done) return 3;
        writeFile(dir / "np", {});
        if (openPackage(package, "pw", {"-f"}).exitCode != 0 || listDir(dir) != done) return 4;
        return readFile(dir / "np") == content ? 0 : 5;
    });
    if (status == 77) GTEST_SKIP() << "cannot hide /proc here";
    EXPECT_EQ(status, 0);
}

// Without /proc the restored file has a hidden name while it is written; a
// SIGTERM meanwhile must take it away with the program. The restore is
// stopped as soon as that name shows, however long that takes.
TEST_F(RivoPackage, TerminatedRestoreLeavesNothing) {
    const fs::path package = pack("big", randomBytes(32 << 20, 14));
    const int status = withoutProc([&] {
        int in[2];
        if (::pipe(in) != 0) return 1;
        const pid_t stub = ::fork();
        if (stub == 0) {
            ::dup2(in[0], 0);
            ::close(in[1]);
            ::execl(package.c_str(), package.c_str(), "--password-stdin", nullptr);
            ::_exit(126);
        }
        if (::write(in[1], "pw\n", 3) != 3) return 1;
        ::close(in[1]);
        for (bool seen = false; !seen;) {
            for (const auto& name : listDir(dir)) seen = seen || name.starts_with(".big.dozo-");
            if (!seen && ::waitpid(stub, nullptr, WNOHANG) == stub) return 78;
        }
        ::kill(stub, SIGTERM);
        int stopped = 0;
        ::waitpid(stub, &stopped, 0);
        if (!WIFSIGNALED(stopped) || WTERMSIG(stopped) != SIGTERM) return 2;
        return listDir(dir) == std::set<std::string>{"big.exe"} ? 0 : 3;
    });
    if (status == 77) GTEST_SKIP() << "cannot hide /proc here";
    if (status == 78) GTEST_SKIP() << "the restore ended before it could be stopped";
    EXPECT_EQ(status, 0);
}

// A package's own file name, a folder and a file name given on the command
// line all come from outside; none may drive the terminal the messages go to.
TEST_F(RivoPackage, NamesReachTheTerminalEscaped) {
    const std::string hostile = "evil\x1b]0;owned\x07\x1b[31m\x9b";
    const fs::path package = pack(hostile, randomBytes(10, 13));
    writeFile(dir / (hostile + ".stub"), stubOf(readFile(package)));
    fs::permissions(dir / (hostile + ".stub"), fs::perms::owner_all);
    const struct {
        const char* what;
        fs::path program;
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {"no terminal", package, {}, 2},
        {"output folder", package, {"--password-stdin", "-o", (dir / hostile).string()}, 5},
        {"password file", package, {"--password-file", (dir / hostile).string()}, 5},
        {"unknown option", package, {"--" + hostile}, 2},
        {"not a package", dir / (hostile + ".stub"), {"--info"}, 3},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.program, c.args, RunOptions::input("pw\n"));
        EXPECT_EQ(r.exitCode, c.code) << c.what << ": " << r.err;
        for (const unsigned char b : r.err + r.out)
            EXPECT_TRUE((b >= 0x20 && b != 0x7f && b != 0x9b) || b == '\n')
                << c.what << ": " << r.err;
        EXPECT_NE(r.err.find("evil\\x1b]0;owned\\x07\\x1b[31m\\x9b"), std::string::npos)
            << c.what << ": " << r.err;
    }
}

TEST_F(RivoPackage, TheBareStubHoldsNoPackage) {
    const Bytes package = readFile(pack("b", randomBytes(10, 11)));
    writeFile(dir / "stub", stubOf(package));
    fs::permissions(dir / "stub", fs::perms::owner_all);
    const RunResult r = openPackage(dir / "stub", "pw");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("holds no package"), std::string::npos) << r.err;
}

}  // namespace
