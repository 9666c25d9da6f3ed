// dozo-cli on a terminal: the key asked twice without echo, and the progress
// line that only a terminal gets.
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>
#include <terminal.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include <QFile>
#include <string>
#include <vector>

namespace dozo::test {
namespace {

// dozo-cli on a terminal of its own, with the environment of the other runs;
// `before` goes in front of the program (to run it as another user).
struct CliTerminal : TerminalSession {
    explicit CliTerminal(const QStringList& args, std::vector<std::string> before = {})
        : TerminalSession(argv(args, std::move(before)), env()) {}
    static std::vector<std::string> argv(const QStringList& args, std::vector<std::string> words) {
        words.push_back(builtCli());
        for (const QString& a : args) words.push_back(QFile::encodeName(a).toStdString());
        return words;
    }
    static std::vector<std::string> env() {
        std::vector<std::string> vars;
        for (const QString& v : cliEnvironment({}).toStringList()) vars.push_back(v.toStdString());
        return vars;
    }
};

// Whether the program ran to its end with exit code `code`.
bool exitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// The two runs that ask on the terminal, each over the file `f` of `dir`,
// and the prompt each starts with.
struct Prompting {
    QStringList args;
    const char* prompt;
};
std::vector<Prompting> promptingRuns(const TempDir& dir) {
    return {{{QStringLiteral("keyed"), q(dir / "f")}, "Key: "},
            {{QStringLiteral("package"), q(dir / "f"), q(dir / "f.exe")}, "Password: "}};
}

TEST(Terminal, KeyIsAskedTwiceWithoutEchoAndProgressIsDrawn) {
    const std::string key = "typed-key-1729";
    struct Case {
        const char* again;
        int exitCode;
    } cases[] = {{"typed-key-1729", 0}, {"typed-key-1728", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.again);
        TempDir dir;
        const Bytes content = randomBytes(9000, 3);
        for (const char* name : {"a", "b", "c"}) writeFile(dir / name, content);

        CliTerminal run({QStringLiteral("keyed"), QStringLiteral("-r"), q(dir.path())});
        ASSERT_TRUE(run.waitFor("Key: ")) << run.seen;
        run.type(key + "\n");
        ASSERT_TRUE(run.waitFor("Key again: ")) << run.seen;
        run.type(std::string(c.again) + "\n");
        const int status = run.exitStatus();
        EXPECT_TRUE(exitedWith(status, c.exitCode)) << run.seen;
        EXPECT_EQ(run.seen.find("typed-key"), std::string::npos) << run.seen;

        Bytes expected = content;
        if (c.exitCode == 0) {
            expected = directKeyed(QByteArray::fromStdString(key), content);
            // One line, redrawn in place, up to the last file.
            EXPECT_NE(run.seen.find("\r\x1b[K[3/3]"), std::string::npos) << run.seen;
            EXPECT_NE(run.seen.find("done 3, failed 0, skipped 0"), std::string::npos);
        } else {
            EXPECT_NE(run.seen.find("the two entries differ"), std::string::npos) << run.seen;
            EXPECT_EQ(run.seen.find("\x1b[K["), std::string::npos) << run.seen;
        }
        for (const char* name : {"a", "b", "c"}) EXPECT_EQ(readFile(dir / name), expected) << name;
    }
}

// A pack and an unpack draw how far they are, up to the whole, and clear the
// line before the summary.
TEST(Terminal, PackAndUnpackDrawTheirShare) {
    TempDir dir;
    for (const char* name : {"a", "b", "c"}) writeFile(dir / name, randomBytes(20000, 5));
    const QString archive = q(dir / "x.lzh");
    const QStringList commands[] = {
        {QStringLiteral("pack"), archive, q(dir / "a"), q(dir / "b"), q(dir / "c")},
        {QStringLiteral("unpack"), archive, q(dir / "out")},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args.first().toStdString());
        CliTerminal run(args);
        const int status = run.exitStatus();
        EXPECT_TRUE(exitedWith(status, 0)) << run.seen;
        EXPECT_NE(run.seen.find("\r\x1b[K[100%] "), std::string::npos) << run.seen;
        EXPECT_NE(run.seen.find("\r\x1b[Kdone 3, failed 0, skipped 0"), std::string::npos)
            << run.seen;
    }
    EXPECT_EQ(readFile(dir / "out" / "b"), readFile(dir / "b"));
}

// Enter alone on the first prompt is refused at once, asking nothing more
// and touching nothing.
TEST(Terminal, NothingTypedIsRefusedAtTheFirstPrompt) {
    TempDir dir;
    writeFile(dir / "f", randomBytes(100, 4));
    for (const Prompting& c : promptingRuns(dir)) {
        SCOPED_TRACE(c.prompt);
        CliTerminal run(c.args);
        ASSERT_TRUE(run.waitFor(c.prompt)) << run.seen;
        run.type("\n");
        ASSERT_TRUE(run.waitFor("nothing was entered")) << run.seen;
        const int status = run.exitStatus();
        EXPECT_TRUE(exitedWith(status, 2)) << run.seen;
        EXPECT_EQ(run.seen.find("again"), std::string::npos) << run.seen;
        EXPECT_EQ(readFile(dir / "f"), randomBytes(100, 4));
        EXPECT_FALSE(dozo::test::exists(dir / "f.exe"));
    }
}

// However the program is ended at a prompt (Ctrl-C, Ctrl-\, the terminal
// closing), the terminal gets its echo back and nothing is touched.
TEST(Terminal, EndedAtThePromptTheEchoComesBack) {
    TempDir dir;
    writeFile(dir / "f", randomBytes(100, 6));
    const struct {
        const char* keys;  // typed at the prompt, or nothing and the signal is sent
        int signal;
    } endings[] = {{"\x03", SIGINT}, {"\x1c", SIGQUIT}, {"", SIGHUP}};
    for (const Prompting& c : promptingRuns(dir)) {
        for (const auto& ending : endings) {
            SCOPED_TRACE(testing::Message() << c.prompt << ::strsignal(ending.signal));
            CliTerminal run(c.args);
            ASSERT_TRUE(run.waitFor(c.prompt)) << run.seen;
            if (*ending.keys != '\0') {
                run.type(ending.keys);
            } else {
                ASSERT_EQ(::kill(run.pid, ending.signal), 0);
            }
            const int status = run.exitStatus();
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == ending.signal) << status;
            termios t{};
            ASSERT_EQ(::tcgetattr(run.master, &t), 0);
            EXPECT_NE(t.c_lflag & ECHO, 0u);
            EXPECT_EQ(readFile(dir / "f"), randomBytes(100, 6));
            EXPECT_FALSE(dozo::test::exists(dir / "f.exe"));
        }
    }
}

// From its start, before a password is typed, the program cannot leave a
// core dump and no other process of its user may read its memory. The kernel
// shows that as /proc/PID/status belonging to root, so the program runs as a
// user other than root here.
TEST(Terminal, NoCoreDumpOrPeekingWhileItAsks) {
    TempDir dir;
    std::vector<std::string> asNobody;
    if (::geteuid() == 0) {
        if (!std::filesystem::exists("/usr/bin/setpriv")) GTEST_SKIP() << "no setpriv to drop root";
        asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        std::filesystem::permissions(
            dir.path(), std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
            std::filesystem::perm_options::add);
    }
    writeFile(dir / "f", randomBytes(100, 5));
    for (const Prompting& c : promptingRuns(dir)) {
        SCOPED_TRACE(c.prompt);
        CliTerminal run(c.args, asNobody);
        ASSERT_TRUE(run.waitFor(c.prompt)) << run.seen;
        struct stat st {};
        ASSERT_EQ(::stat(("/proc/" + std::to_string(run.pid) + "/status").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
    }
}

}  // namespace
}  // namespace dozo::test
