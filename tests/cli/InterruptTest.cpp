// dozo-cli stopped by a real SIGINT or SIGTERM while one large file is packed,
// unpacked or packaged: the signal reaches the run, which says it stopped,
// and the program then ends by that signal. (That the jobs stop inside the
// file and leave nothing half-written is core's rule.)
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>
#include <terminal.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QFile>
#include <fstream>
#include <thread>

#ifdef DOZO_FAST_RIVO
namespace dozo::test {
namespace {

// Bytes the process has written so far (its own count, /proc/PID/io).
long long written(pid_t pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    for (std::string key; io >> key;) {
        long long value = 0;
        io >> value;
        if (key == "wchar:") return value;
    }
    return -1;
}

TEST(CliInterrupt, ASignalStopsThePackTheUnpackAndThePackageInsideALargeFile) {
    const Installation installation{{{"librivo.so", dozo::test::inBuildTree(DOZO_FAST_RIVO)},
                                     {"libunlha32.so", dozo::test::inBuildTree(DOZO_UNLHA32)}}};
    TempDir dir;
    // Text of random letters: slow enough to pack that a signal finds it
    // under way.
    Bytes text = randomBytes(24 << 20, 5);
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = i % 80 == 79 ? '\n' : static_cast<unsigned char>('a' + text[i] % 26);
    writeFile(dir / "large.txt", text);
    writeFile(dir / "pw", {'p', 'w'});
    const QString archive = q(dir / "large.lzh");
    ASSERT_EQ(runCli({QStringLiteral("pack"), archive, q(dir / "large.txt")},
                     {.installation = &installation})
                  .exitCode,
              0);
    ::mkdir((dir / "out").c_str(), 0755);
    std::vector<std::string> env;
    for (const QString& e : cliEnvironment({}).toStringList()) env.push_back(e.toStdString());

    const struct {
        const char* name;
        QStringList args;
        int signal;
        QString says;
    } cases[] = {
        {"Pack",
         {QStringLiteral("pack"), q(dir / "new.lzh"), q(dir / "large.txt")},
         SIGINT,
         QStringLiteral("cancelled; the archive is as it was (1 files not packed)")},
        {"Unpack",
         {QStringLiteral("unpack"), archive, q(dir / "out")},
         SIGTERM,
         q(dir / "out/large.txt") +
             QStringLiteral(": stopped: the file being written was removed")},
        {"Package",
         {QStringLiteral("package"), QStringLiteral("--password-file"), q(dir / "pw"),
          q(dir / "large.txt"), q(dir / "large.exe")},
         SIGINT,
         QStringLiteral("cancelled; nothing was written")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv{installation.program().toStdString()};
        for (const QString& a : c.args) argv.push_back(QFile::encodeName(a).toStdString());
        // On a terminal of its own; signalled once 4 MiB are written: by then
        // it is inside the large file.
        TerminalSession session(argv, env);
        for (long long w; (w = written(session.pid)) >= 0 && w < (4 << 20);)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ::kill(session.pid, c.signal);
        const int status = session.exitStatus();
        const QString shown = QString::fromStdString(session.seen);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << shown.toStdString();
        EXPECT_TRUE(shown.contains(c.says)) << shown.toStdString();
    }
}

}  // namespace
}  // namespace dozo::test
#endif
