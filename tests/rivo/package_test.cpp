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

#include "files.h"
#include "leftover.h"
#include "loaded_library.h"
#include "rivo.h"
#include "support.h"

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

    TempDir dir;
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

TEST_F(RivoPackage, AsksThroughZenityInADesktopSession) {
    const Bytes content = randomBytes(10, 9);
    const fs::path package = pack("z", content, "from dialog");
    const fs::path bin = dir / "bin";
    fs::create_directory(bin);
    const std::string script = "#!/bin/sh\necho \"$@\" > \"" + (dir / "args").string() +
                               "\"\n[ -f \"" + (dir / "cancel").string() +
                               "\" ] && exit 1\necho 'from dialog'\n";
    writeFile(bin / "zenity", Bytes(script.begin(), script.end()));
    fs::permissions(bin / "zenity", fs::perms::owner_all);
    const RunOptions desktop =
        RunOptions::environment({{"DISPLAY", ":99"}, {"PATH", bin.string() + ":/usr/bin:/bin"}});

    RunResult r = run(package, {}, desktop);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir / "z"), content);
    const Bytes args = readFile(dir / "args");
    EXPECT_NE(std::string(args.begin(), args.end()).find("--password"), std::string::npos);

    fs::remove(dir / "z");
    writeFile(dir / "cancel", {});
    r = run(package, {}, desktop);
    EXPECT_EQ(r.exitCode, 6);
    EXPECT_FALSE(fs::exists(dir / "z"));

    // A dialog that cannot show (no display) is not a Cancel: explain instead.
    const std::string broken = "#!/bin/sh\nexit 255\n";
    writeFile(bin / "zenity", Bytes(broken.begin(), broken.end()), 0700);
    r = run(package, {}, desktop);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--password-stdin"), std::string::npos) << r.err;
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
