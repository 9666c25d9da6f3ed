// The front of every package: finds the payload at its own end, asks for the
// password and restores the file.
#include <errno.h>
#include <fcntl.h>
#include <gnu/libc-version.h>
#include <sodium.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include "exit_code.h"
#include "licenses.h"
#include "messages.h"
#include "password.h"
#include "restore.h"

using namespace dozo::rivo;

namespace {

struct Options {
    const char* outputDir = nullptr;
    bool force = false;
    bool testOnly = false;
    bool info = false;
    bool help = false;
    bool version = false;
    bool licenses = false;
    bool passwordStdin = false;
    const char* passwordFile = nullptr;
};

void onSignal(int sig) {
    restoreTerminal();
    removePartialOutput();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Accepts "--name VALUE" and "--name=VALUE".
bool takeValue(const char* arg, const char* name, int& i, int argc, char** argv, const char*& value,
               bool& missing) {
    const std::size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0) return false;
    if (arg[n] == '=') {
        value = arg + n + 1;
        return true;
    }
    if (arg[n] != '\0') return false;
    if (i + 1 >= argc) {
        missing = true;
        return true;
    }
    value = argv[++i];
    return true;
}

ExitCode parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        bool missing = false;
        if (!std::strcmp(a, "-f") || !std::strcmp(a, "--force")) {
            o.force = true;
        } else if (!std::strcmp(a, "-t") || !std::strcmp(a, "--test")) {
            o.testOnly = true;
        } else if (!std::strcmp(a, "--info")) {
            o.info = true;
        } else if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help")) {
            o.help = true;
        } else if (!std::strcmp(a, "--version")) {
            o.version = true;
        } else if (!std::strcmp(a, "--licenses")) {
            o.licenses = true;
        } else if (!std::strcmp(a, "--password-stdin")) {
            o.passwordStdin = true;
        } else if (takeValue(a, "-o", i, argc, argv, o.outputDir, missing) ||
                   takeValue(a, "--output", i, argc, argv, o.outputDir, missing) ||
                   takeValue(a, "--password-file", i, argc, argv, o.passwordFile, missing)) {
            if (missing) {
                fprintf(stderr, text(Msg::missingValue), shown(a).c_str());
                return kExitUsage;
            }
        } else {
            fprintf(stderr, text(Msg::badOption), shown(a).c_str());
            return kExitUsage;
        }
    }
    if (o.passwordStdin && o.passwordFile != nullptr) {
        fputs(text(Msg::conflict), stderr);
        return kExitUsage;
    }
    return kExitOk;
}

// The file this program runs from: /proc first, then argv[0].
std::string selfPath(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
    return argv0;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// How the password is asked when no option gives it: on the terminal, else
// in a dialog, else not at all.
struct Asking {
    bool terminal = false;
    Dialog dialog;
    Dialog::Found found = Dialog::Found::noDisplay;
    bool byDialog() const { return !terminal && found == Dialog::Found::usable; }
};

Asking howToAsk(const Options& o) {
    Asking a;
    if (o.passwordStdin || o.passwordFile != nullptr) return a;
    a.terminal = haveTerminal();
    if (!a.terminal) a.found = a.dialog.find();
    return a;
}

ExitCode getPassword(const Options& o, const std::string& self, const Asking& asking,
                     Password& pw) {
    if (pw.bytes == nullptr) {
        say(stderr, "%s", text(Msg::noMemory));
        return kExitIo;
    }
    Got got;
    if (o.passwordStdin) {
        got = readLine(STDIN_FILENO, pw);
    } else if (o.passwordFile != nullptr) {
        const int fd = ::open(o.passwordFile, O_RDONLY | O_CLOEXEC | O_NOCTTY);
        got = fd < 0 ? Got::error : readLine(fd, pw);
        if (got == Got::error) {
            say(stderr, text(Msg::passwordFile), shown(o.passwordFile).c_str(), strerror(errno));
            if (fd >= 0) ::close(fd);
            return kExitIo;
        }
        ::close(fd);
    } else {
        const std::string base = shown(self.substr(self.find_last_of('/') + 1));
        got = Got::error;
        if (asking.terminal) {
            char prompt[512];
            snprintf(prompt, sizeof prompt, text(Msg::prompt), base.c_str());
            got = askTerminal(prompt, pw);
        } else if (asking.byDialog()) {
            char question[2048];
            snprintf(question, sizeof question, text(Msg::dialogText), base.c_str(),
                     shown(folderOf(self)).c_str());
            got = asking.dialog.askPassword(text(Msg::dialogTitle), question, pw);
        }
        if (got == Got::error) {
            if (!asking.terminal && asking.found == Dialog::Found::displayUnusable) {
                const char* wayland = getenv("WAYLAND_DISPLAY");
                const char* display =
                    wayland != nullptr && *wayland != '\0' ? wayland : getenv("DISPLAY");
                say(stderr, text(Msg::noDialog), shown(display != nullptr ? display : "").c_str());
            }
            say(stderr, text(Msg::noTerminal), base.c_str(), shown(self).c_str());
            return kExitUsage;
        }
    }
    if (got != Got::password) {
        say(stderr, "%s", text(Msg::cancelled));
        return kExitCancelled;
    }
    // Read no further than the longest password a package can have.
    if (pw.tooLong) {
        say(stderr, text(Msg::passwordTooLong), RIVO_PASSWORD_MAX);
        return kExitWrongPassword;
    }
    return kExitOk;
}

ExitCode openAndRestore(const Options& o, const std::string& self, const Asking& asking) {
    Package package;
    if (ExitCode rc = openPackage(self.c_str(), package); rc != kExitOk) return rc;
    if (o.info) {
        printInfo(package);
        return kExitOk;
    }

    RestoreOptions r;
    r.force = o.force;
    r.testOnly = o.testOnly;
    if (asking.byDialog()) {
        r.askReplace = [&asking](const std::string& shownPath) {
            char question[1024];
            snprintf(question, sizeof question, text(Msg::askReplace), shownPath.c_str());
            return asking.dialog.ask(text(Msg::dialogTitle), question);
        };
    }
    const std::string dir = o.outputDir != nullptr ? o.outputDir : folderOf(self);
    r.dirPath = shown(dir);  // for messages only: the folder is used through dirFd
    if (!o.testOnly) {
        // Checked before the password, so a bad folder costs no key derivation.
        r.dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (r.dirFd < 0 || ::access(dir.c_str(), W_OK | X_OK) != 0) {
            say(stderr, text(Msg::outputDir), r.dirPath.c_str(), strerror(errno));
            return kExitIo;
        }
    }

    Password pw;
    if (ExitCode rc = getPassword(o, self, asking, pw); rc != kExitOk) return rc;
    const ExitCode rc = restore(package, pw, r);
    if (r.dirFd >= 0) ::close(r.dirFd);
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any secret is in memory: no core dump of this process, and no
    // other process of the user's may read its memory.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);

    Options o;
    if (ExitCode rc = parseOptions(argc, argv, o); rc != kExitOk) return rc;
    const std::string self = selfPath(argc > 0 ? argv[0] : "");
    if (o.help) {
        printf(text(Msg::help), shown(self).c_str());
        return kExitOk;
    }
    if (o.version) {
        printf(text(Msg::version), kProgramVersion, unsigned{kFormatVersion});
        return kExitOk;
    }
    if (o.licenses) {
        printf(kLicenses, gnu_get_libc_version(), sodium_version_string());
        return kExitOk;
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(sig, onSignal);

    // Started from a file manager, with no terminal to show anything: what
    // happens is shown in a dialog of the same program that asked.
    const Asking asking = howToAsk(o);
    // A desktop without zenity or kdialog: the password is asked in a
    // terminal window instead, when the desktop has one.
    if (!o.info && !asking.terminal && asking.found == Dialog::Found::noProgram)
        runInTerminal(self, argc, argv);
    if (asking.byDialog()) keepMessages();
    const ExitCode rc = openAndRestore(o, self, asking);
    // Not after a Cancel, nor when the question itself could not be shown.
    if (asking.byDialog() && rc != kExitCancelled && rc != kExitUsage && !keptMessages().empty())
        asking.dialog.show(rc != kExitOk, text(Msg::dialogTitle), keptMessages());
    return rc;
}
