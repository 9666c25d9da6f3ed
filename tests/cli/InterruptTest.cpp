// dozo-cli stopped by a real SIGINT or SIGTERM while one large file is packed,
// unpacked or packaged: the run stops inside the file, says so, leaves
// nothing half-written, and the program then ends by that signal.
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct Interrupted {
    int signal = 0;  // what ended the program; 0 when it exited
    QString err;
};

// Runs the installed dozo-cli in a session of its own and sends it `sig` once
// it has written `after` bytes: by then it is inside the large file.
Interrupted interrupt(const Installation& installation, const QStringList& args, int sig,
                      long long after, const QByteArray& input = {}) {
    const QProcessEnvironment environment = cliEnvironment({});
    std::vector<std::string> words{installation.program().toStdString()};
    for (const QString& a : args) words.push_back(QFile::encodeName(a).toStdString());
    std::vector<std::string> env;
    for (const QString& e : environment.toStringList()) env.push_back(e.toStdString());
    std::vector<char*> argv, envp;
    for (std::string& w : words) argv.push_back(w.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    TempDir scratch;
    const std::string errFile = scratch / "err";
    int in[2];
    if (::pipe(in) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::dup2(in[0], 0);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    if (!input.isEmpty()) (void)!::write(in[1], input.constData(), input.size());
    ::close(in[1]);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (written(pid) >= after) {
            ::kill(pid, sig);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const Bytes err = readFile(errFile);
    return {WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            QString::fromUtf8(reinterpret_cast<const char*>(err.data()),
                              static_cast<qsizetype>(err.size()))};
}

TEST(CliInterrupt, ASignalStopsThePackTheUnpackAndThePackageInsideALargeFile) {
    const Installation installation{
        {{"librivo.so", DOZO_FAST_RIVO}, {"libunlha32.so", DOZO_UNLHA32}}};
    TempDir dir;
    // Text of random letters: slow enough to pack that a signal finds it
    // under way.
    Bytes text = randomBytes(24 << 20, 5);
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = i % 80 == 79 ? '\n' : static_cast<unsigned char>('a' + text[i] % 26);
    writeFile(dir / "large.txt", text);
    const QString archive = q(dir / "large.lzh");
    ASSERT_EQ(runCli({QStringLiteral("pack"), archive, q(dir / "large.txt")},
                     {.installation = &installation})
                  .exitCode,
              0);
    ::mkdir((dir / "out").c_str(), 0755);
    const std::set<std::string> before = listDir(dir.path());

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
         {QStringLiteral("package"), QStringLiteral("--password-stdin"), q(dir / "large.txt"),
          q(dir / "large.exe")},
         SIGINT,
         QStringLiteral("cancelled; nothing was written")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Interrupted r = interrupt(installation, c.args, c.signal, 4 << 20, "pw\n");
        EXPECT_EQ(r.signal, c.signal) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_EQ(listDir(dir.path()), before) << "nothing new, nothing half-written";
        EXPECT_TRUE(listDir(dir / "out").empty());
    }
}

}  // namespace
}  // namespace dozo::test
#endif
