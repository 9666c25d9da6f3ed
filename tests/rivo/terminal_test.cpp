// The password prompt on a real pseudo-terminal: the package as a user
// starts it from a shell.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>

#include "rivo.h"
#include "support.h"
#include "terminal.h"

using namespace dozo::test;

namespace {

// The package as a user starts it from a shell, without a desktop.
struct Session : TerminalSession {
    explicit Session(const fs::path& program)
        : TerminalSession({program.string()},
                          environmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "LANG", "LC_ALL"})) {}
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
    TempDir dir;
    Bytes content;
};

TEST_F(RivoTerminal, PromptsWithEchoOff) {
    Session s(dir / "note.exe");
    ASSERT_TRUE(s.waitFor("Password for note.exe: ")) << s.seen;
    termios t{};
    ASSERT_EQ(::tcgetattr(s.master, &t), 0);
    EXPECT_EQ(t.c_lflag & ECHO, 0u);
    s.type("s3cret\n");
    const int status = s.exitStatus();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << s.seen;
    EXPECT_EQ(s.seen.find("s3cret"), std::string::npos) << s.seen;
    EXPECT_EQ(readFile(dir / "note.txt"), content);
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
