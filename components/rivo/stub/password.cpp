#include "password.h"

#include <errno.h>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dozo/fileio/io.h"

namespace dozo::rivo {
namespace {

// Touched by the signal handler: plain globals only.
int gTtyFd = -1;
struct termios gSaved;
volatile sig_atomic_t gEchoOff = 0;

std::string findOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    for (const char* p = path;; ++p) {
        const char* end = std::strchr(p, ':');
        const int length = static_cast<int>(end ? end - p : static_cast<long>(std::strlen(p)));
        char candidate[4096];
        // An empty PATH entry means the current folder.
        if (length == 0)
            std::snprintf(candidate, sizeof candidate, "./%s", name);
        else
            std::snprintf(candidate, sizeof candidate, "%.*s/%s", length, p, name);
        struct stat st {};
        if (::stat(candidate, &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate, X_OK) == 0)
            return candidate;
        if (end == nullptr) break;
        p = end;
    }
    return {};
}

// Runs a dialog program and takes the first line it prints.
Got runDialog(const std::string& program, const char* const argv[], Password& out) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return Got::error;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return Got::error;
    }
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execv(program.c_str(), const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    Got got = readLine(pipeFds[0], out);
    // Drain, so the dialog never blocks on a full pipe.
    char sink[256];
    while (::read(pipeFds[0], sink, sizeof sink) > 0) {
    }
    sodium_memzero(sink, sizeof sink);
    ::close(pipeFds[0]);
    int status = 0;
    // signal() installs our handlers with SA_RESTART: no signal interrupts
    // this wait, and a failed one means the dialog cannot be trusted.
    if (::waitpid(pid, &status, 0) < 0) return Got::error;
    // Both dialogs exit 1 on Cancel; anything else non-zero means the dialog
    // never showed (no display, a crash), so the caller explains instead.
    if (!WIFEXITED(status)) return Got::error;
    if (WEXITSTATUS(status) == 1) return Got::none;
    if (WEXITSTATUS(status) != 0) return Got::error;
    return got;
}

}  // namespace

// A limit on locked memory only costs the protection, not the password.
Password::Password() {
    (void)sodium_mlock(bytes, sizeof bytes);
}

Password::~Password() {
    // Wipes first, whether or not the lock was granted.
    (void)sodium_munlock(bytes, sizeof bytes);
}

Got readLine(int fd, Password& out) {
    out.length = 0;
    out.tooLong = false;
    bool any = false;
    // Byte by byte straight into the locked buffer, so nothing after the
    // line is consumed and no copy of the password is left elsewhere.
    for (;;) {
        char* c = &out.bytes[std::min<std::size_t>(out.length, RIVO_PASSWORD_MAX)];
        const ssize_t got = fileio::readFully(fd, c, 1);
        if (got < 0) return Got::error;
        if (got == 0) break;
        any = true;
        if (*c == '\n') break;
        if (out.length < RIVO_PASSWORD_MAX)
            ++out.length;
        else
            out.tooLong = true;
    }
    out.bytes[out.length] = '\0';
    return any ? Got::password : Got::none;
}

void restoreTerminal() {
    if (gEchoOff) {
        ::tcsetattr(gTtyFd, TCSAFLUSH, &gSaved);
        gEchoOff = 0;
        (void)!::write(gTtyFd, "\n", 1);
    }
}

Got askTerminal(const char* prompt, Password& out) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Got::error;
    struct termios quiet;
    if (::tcgetattr(fd, &gSaved) != 0) {
        ::close(fd);
        return Got::error;
    }
    gTtyFd = fd;
    quiet = gSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // Echo goes off before the prompt shows, so nothing typed after the
    // prompt can be echoed or flushed away.
    gEchoOff = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    (void)!::write(fd, prompt, std::strlen(prompt));
    const Got got = readLine(fd, out);
    if (gEchoOff) {
        ::tcsetattr(fd, TCSAFLUSH, &gSaved);
        gEchoOff = 0;
    }
    gTtyFd = -1;
    ::close(fd);
    return got;
}

Got askDesktop(const char* title, const char* text, Password& out) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0'))
        return Got::error;
    if (const std::string zenity = findOnPath("zenity"); !zenity.empty()) {
        const std::string titleArg = std::string("--title=") + title;
        const char* const argv[] = {"zenity", "--password", titleArg.c_str(), nullptr};
        if (const Got got = runDialog(zenity, argv, out); got != Got::error) return got;
    }
    if (const std::string kdialog = findOnPath("kdialog"); !kdialog.empty()) {
        const char* const argv[] = {"kdialog", "--title", title, "--password", text, nullptr};
        return runDialog(kdialog, argv, out);
    }
    return Got::error;
}

}  // namespace dozo::rivo
