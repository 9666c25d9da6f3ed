// How often a window left alone wakes its process: context switches per
// second of every thread (/proc/PID/task/*/status), and CPU time, over an idle
// stretch after the window has settled. Measured in the same run:
//  - a bare Qt window, the least a Qt window costs on this platform;
//  - the same window with a 10 ms timer, as the enablement rules once ran;
//  - the dozo program as it starts;
//  - the main window with a password typed and the caret left in its field,
//    measured once the caret has stopped blinking (CaretRest).
// Idle, the main window should wake less than once a second.
//
//   idle_bench [seconds, default 10] [another dozo program to measure too]
//
// Windows are shown on the platform QT_QPA_PLATFORM names (offscreen when
// unset). "idle_bench --child bare|timer|typed" is one of the windows above.

#include "app/shell/ApplicationFont.h"
#include "app/shell/CaretRest.h"
#include "app/shell/QtTranslation.h"
#include "app/window/frmMain.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include "built_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Start-up work (fonts, the first paint, the libraries' version queries) is
// over well within this.
constexpr int kSettle = 3;

// The main window as main() makes it, with a password typed into its field.
int runTyped(QApplication& app) {
    dozo::ApplicationFont::apply();
    dozo::QtTranslation::install();
    dozo::frmMain window;
    window.show();
    window.activateWindow();
    auto* field = window.findChild<QLineEdit*>(QStringLiteral("PASS"));
    field->setFocus();
    for (const QChar c : QStringLiteral("secret")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
    }
    return app.exec();
}

int runChild(const std::string& kind) {
    int argc = 1;
    char name[] = "idle_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    if (kind == "typed") return runTyped(app);
    QLabel window(QStringLiteral("idle"));
    window.resize(411, 296);
    window.show();
    QTimer timer;
    if (kind == "timer") {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, &window, [&window] { window.isEnabled(); });
        timer.start();
    }
    return app.exec();
}

struct Sample {
    long long switches = 0;
    double cpu = 0;  // seconds of user and system time
};

long long field(const fs::path& status, const char* name) {
    std::ifstream in(status);
    std::string line;
    const std::size_t length = std::strlen(name);
    while (std::getline(in, line)) {
        if (line.compare(0, length, name) == 0) return std::atoll(line.c_str() + length);
    }
    return 0;
}

Sample sample(pid_t pid) {
    Sample s;
    const fs::path tasks = fs::path("/proc") / std::to_string(pid) / "task";
    std::error_code error;
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        s.switches += field(task.path() / "status", "voluntary_ctxt_switches:");
        s.switches += field(task.path() / "status", "nonvoluntary_ctxt_switches:");
    }
    std::ifstream stat(fs::path("/proc") / std::to_string(pid) / "stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields 14 and 15 (utime, stime) follow the command name's closing
    // parenthesis, which is field 2 and may hold spaces.
    const std::size_t close = all.rfind(')');
    if (close != std::string::npos) {
        std::vector<std::string> fields;
        std::size_t at = close + 2;
        while (at < all.size() && fields.size() < 14) {
            const std::size_t end = all.find(' ', at);
            fields.push_back(all.substr(at, end - at));
            if (end == std::string::npos) break;
            at = end + 1;
        }
        if (fields.size() >= 13) {
            const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
            s.cpu = (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / tick;
        }
    }
    return s;
}

// Runs `argv` with its own home and runtime folders, lets it settle for
// `settle` seconds, and prints its wake-ups per second over `seconds`.
void measure(const char* label, std::vector<std::string> argv, int seconds, int settle = kSettle) {
    char home[] = "/tmp/idle_bench-XXXXXX";
    if (!::mkdtemp(home)) {
        std::perror("mkdtemp");
        return;
    }
    const std::string runtime = std::string(home) + "/runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_", 0) == 0) continue;
        env.push_back(entry);
    }
    env.push_back(std::string("HOME=") + home);
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    if (!std::getenv("QT_QPA_PLATFORM")) env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> args, envp;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    // Its messages (a missing library, the platform's notes) are not ours.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::printf("%-44s could not start %s: %s\n", label, args[0], std::strerror(error));
        fs::remove_all(home);
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(settle));
    const Sample before = sample(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const Sample after = sample(pid);
    int status = 0;
    const bool exited = ::waitpid(pid, &status, WNOHANG) == pid;
    if (!exited) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, &status, 0);
    }
    if (exited) {
        std::printf("%-44s ended before it was measured\n", label);
    } else {
        const double perSecond = static_cast<double>(after.switches - before.switches) / seconds;
        std::printf("%-44s %9.1f %12.1f\n", label, perSecond,
                    (after.cpu - before.cpu) * 1000.0 / seconds);
    }
    std::error_code ignored;
    fs::remove_all(home, ignored);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return runChild(argv[2]);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("Idle for %d s after %d s to settle, platform %s\n", seconds, kSettle,
                platform ? platform : "offscreen");
    std::printf("%-44s %9s %12s\n", "", "wakes/s", "CPU ms/s");
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    measure("bare Qt window (baseline)", {self, "--child", "bare"}, seconds);
    measure("Qt window with a 10 ms timer (baseline)", {self, "--child", "timer"}, seconds);
    measure("dozo as started", {builtFile(DOZO_WINDOW_PATH)}, seconds);
    measure("password typed, caret left in its field", {self, "--child", "typed"}, seconds,
            dozo::CaretRest::kRestMs / 1000 + kSettle);
    if (argc > 2) measure(argv[2], {argv[2]}, seconds);
    std::printf("goal: the main window below 1 wake-up a second\n");
    return 0;
}
