// dozo-cli on a terminal: the key asked twice without echo, and the progress
// line that only a terminal gets.
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>
#include <terminal.h>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QFile>
#include <string>
#include <vector>

namespace dozo::test {
namespace {

// dozo-cli on a terminal of its own, with the environment of the other runs.
struct CliTerminal : TerminalSession {
    explicit CliTerminal(const QStringList& args) : TerminalSession(argv(args), env()) {}
    static std::vector<std::string> argv(const QStringList& args) {
        std::vector<std::string> words{DOZO_CLI_PATH};
        for (const QString& a : args) words.push_back(QFile::encodeName(a).toStdString());
        return words;
    }
    static std::vector<std::string> env() {
        std::vector<std::string> vars;
        for (const QString& v : cliEnvironment({}).toStringList()) vars.push_back(v.toStdString());
        return vars;
    }
};

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
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exitCode) << run.seen;
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

}  // namespace
}  // namespace dozo::test
