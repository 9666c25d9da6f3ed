// The password prompt on a real pseudo-terminal: the package as a user
// starts it from a shell.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>

#include <fstream>

#include "rivo.h"
#include "support.h"
#include "terminal.h"

using namespace dozo::test;

namespace {

// A shell's environment without a desktop, in English.
std::vector<std::string> plainShell() {
    return environmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "LANG", "LC_ALL"});
}

// The package as a user starts it from a shell, without a desktop.
struct Session : TerminalSession {
    explicit Session(const fs::path& program) : TerminalSession({program.string()}, plainShell()) {}
};

class RivoTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        content = randomBytes(5000, 1);
        writeFile(dir / "note.txt", content);
        ASSERT_EQ(rivo(nullptr, (dir / "note.txt").c_str(), (dir / "note.exe").c_str(), "s3cret"),
                  RIVO_OK);
        fs::remove(dir / "note.txt");
    }
    // The right password typed: the file comes back, the password unseen.
    void expectRestoredByThePassword(TerminalSession& s, const char* typed = "s3cret\n") {
        s.type(typed);
        ASSERT_TRUE(s.waitFor("Restored")) << s.seen;
        const int status = s.exitStatus();
        ASSERT_TRUE(WIFEXITED(status)) << s.seen;
        EXPECT_EQ(WEXITSTATUS(status), 0) << s.seen;
        EXPECT_EQ(s.seen.find("s3cre"), std::string::npos) << s.seen;
        EXPECT_EQ(readFile(dir / "note.txt"), content);
    }
    TempDir dir;
    Bytes content;
};

TEST_F(RivoTerminal, PromptsWithEchoOff) {
    Session s(dir / "note.exe");
    ASSERT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
    termios t{};
    ASSERT_EQ(::tcgetattr(s.master, &t), 0);
    EXPECT_EQ(t.c_lflag & ECHO, 0u);
    expectRestoredByThePassword(s);
}

// While the program waits for the password, the buffer it will land in is
// already locked into memory (kept out of swap).
TEST_F(RivoTerminal, ThePasswordBufferIsLocked) {
    rlimit limit{};
    ::getrlimit(RLIMIT_MEMLOCK, &limit);
    if (::geteuid() != 0 && limit.rlim_cur < 64 * 1024) GTEST_SKIP() << "no locked memory allowed";
    Session s(dir / "note.exe");
    ASSERT_TRUE(s.waitFor("Password for")) << s.seen;
    std::ifstream status("/proc/" + std::to_string(s.pid) + "/status");
    std::string line;
    long lockedKib = -1;
    while (std::getline(status, line))
        if (line.rfind("VmLck:", 0) == 0) lockedKib = std::stol(line.substr(6));
    EXPECT_GT(lockedKib, 0);
    s.type("s3cret\n");
    const int status2 = s.exitStatus();
    EXPECT_TRUE(WIFEXITED(status2) && WEXITSTATUS(status2) == 0) << s.seen;
}

// From the start, before the password is typed, the program cannot leave a
// core dump and no other process of its user may read its memory. The kernel
// shows that as /proc/PID/status belonging to root, so the program runs as a user
// other than root here.
TEST_F(RivoTerminal, NoCoreDumpOrPeekingWhileItAsks) {
    std::vector<std::string> argv{(dir / "note.exe").string(), "-t"};
    if (::geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "no setpriv to drop root";
        argv.insert(argv.begin(),
                    {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    }
    TerminalSession s(argv, plainShell());
    ASSERT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
    struct stat st {};
    ASSERT_EQ(::stat(("/proc/" + std::to_string(s.pid) + "/status").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    s.type("s3cret\n");
    const int status = s.exitStatus();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << s.seen;
}

// Enter alone is no password entered, and nothing is derived from it. The
// package asks for 1 GiB of key-derivation memory and runs with less than
// that: any derivation would fail as out of memory.
TEST_F(RivoTerminal, EnterAloneIsNoPasswordAndDerivesNothing) {
    Bytes package = readFile(dir / "note.exe");
    const std::size_t memlimit = stubOf(package).size() + 24;
    package[memlimit] = 0x00;  // 1048576 KiB
    package[memlimit + 1] = 0x00;
    package[memlimit + 2] = 0x10;
    package[memlimit + 3] = 0x00;
    writeFile(dir / "costly.exe", package, 0755);
    const struct {
        std::string typed;
        int code;
        std::string says;
    } cases[] = {
        {"\n", 6, "No password entered"},
        {"guess\n", 5, "Not enough memory"},  // what a derivation gets here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        TerminalSession s(
            {"/bin/sh", "-c", "ulimit -v 400000 && exec \"$0\" -t", (dir / "costly.exe").string()},
            plainShell());
        ASSERT_TRUE(s.waitFor("Password for costly.exe: ")) << s.seen;
        s.type(c.typed);
        const int status = s.exitStatus();
        ASSERT_TRUE(WIFEXITED(status)) << s.seen;
        EXPECT_EQ(WEXITSTATUS(status), c.code) << s.seen;
        EXPECT_NE(s.seen.find(c.says), std::string::npos) << s.seen;
    }
}

TEST_F(RivoTerminal, WrongPasswordOnTheTerminal) {
    Session s(dir / "note.exe");
    ASSERT_TRUE(s.waitFor("Password for")) << s.seen;
    s.type("guess\n");
    const int status = s.exitStatus();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(s.seen.find("Wrong password"), std::string::npos) << s.seen;
    EXPECT_EQ(listDir(dir), std::set<std::string>{"note.exe"});
}

// Stopped at the prompt (Ctrl-Z) and brought back with fg: the shell had the
// terminal meanwhile and put its own echo back on, so the prompt turns echo
// off again and asks anew before anything typed can show.
TEST_F(RivoTerminal, EchoIsOffAgainAfterAStopAtThePrompt) {
    Session s(dir / "note.exe");
    ASSERT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
    ASSERT_EQ(::kill(s.pid, SIGSTOP), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(s.pid, &status, WUNTRACED), s.pid);
    ASSERT_TRUE(WIFSTOPPED(status));
    termios t{};
    ASSERT_EQ(::tcgetattr(s.master, &t), 0);
    t.c_lflag |= ECHO;
    ASSERT_EQ(::tcsetattr(s.master, TCSANOW, &t), 0);
    s.seen.clear();
    ASSERT_EQ(::kill(s.pid, SIGCONT), 0);
    EXPECT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
    ASSERT_EQ(::tcgetattr(s.master, &t), 0);
    EXPECT_EQ(t.c_lflag & ECHO, 0u);
    expectRestoredByThePassword(s);
}

// Ctrl-Z at the prompt under a shell that keeps no terminal modes of its own
// (sh with job control): the shell gets the terminal back as it was, echo
// on, and fg asks again with echo off.
TEST_F(RivoTerminal, AStopAtThePromptGivesTheShellItsEchoBack) {
    TerminalSession s(
        {"/bin/sh", "-c", "set -m; \"$0\"; echo \"[$(stty)]\"; fg", (dir / "note.exe").string()},
        plainShell());
    ASSERT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
    s.seen.clear();
    s.type("\x1a");  // Ctrl-Z
    ASSERT_TRUE(s.waitFor("]")) << s.seen;
    EXPECT_EQ(s.seen.find("-echo "), std::string::npos) << s.seen;
    ASSERT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
    expectRestoredByThePassword(s);
}

// Started in the background (`note.exe &`, then fg), the program reads the
// terminal's modes while the shell's line editor has them set: no line
// editing, Enter sending a carriage return. The prompt reads a line, with
// Enter ending it and Backspace erasing, whatever modes it found, and puts
// those back afterwards.
TEST_F(RivoTerminal, TheLineIsReadAsTypedWhateverModesTheTerminalWasIn) {
    const struct {
        const char* stty;
        tcflag_t lflagOff, iflagOff;
    } cases[] = {
        {"-icanon -icrnl", ICANON, ICRNL},
        {"-icanon", ICANON, 0},
        {"-icrnl", 0, ICRNL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stty);
        fs::remove(dir / "note.txt");
        TerminalSession s({"/bin/sh", "-c", std::string("stty ") + c.stty + " && exec \"$0\"",
                           (dir / "note.exe").string()},
                          plainShell());
        ASSERT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
        expectRestoredByThePassword(s, "s3crex\x7ft\r");
        termios after{};
        ASSERT_EQ(::tcgetattr(s.master, &after), 0);
        EXPECT_EQ(after.c_lflag & (c.lflagOff | ECHO), ECHO);
        EXPECT_EQ(after.c_iflag & c.iflagOff, 0u);
    }
}

TEST_F(RivoTerminal, InterruptAtThePromptGivesTheEchoBack) {
    Session s(dir / "note.exe");
    ASSERT_TRUE(s.waitFor("Password for")) << s.seen;
    s.type("\x03");  // Ctrl-C
    const int status = s.exitStatus();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    termios t{};
    ASSERT_EQ(::tcgetattr(s.master, &t), 0);
    EXPECT_NE(t.c_lflag & ECHO, 0u);
    EXPECT_EQ(listDir(dir), std::set<std::string>{"note.exe"});
}

}  // namespace
