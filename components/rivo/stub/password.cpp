#include "password.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "dozo/fileio/io.h"
#include "self.h"

namespace dozo::rivo {
namespace {

// Touched by the signal handler: plain globals only.
int gTtyFd = -1;
struct termios gSaved;
struct termios gQuiet;
const char* gPrompt = "";
std::size_t gPromptLength = 0;
volatile sig_atomic_t gEchoOff = 0;

// A stop at the prompt (Ctrl-Z) gives the terminal back to the shell as it
// was, echo on; fg does not give ours back. So on continuing, echo goes off
// again and the question is asked anew, before anything typed can show.
void onContinue(int) {
    const int saved = errno;
    if (gEchoOff) {
        ::tcsetattr(gTtyFd, TCSAFLUSH, &gQuiet);
        (void)!::write(gTtyFd, gPrompt, gPromptLength);
    }
    errno = saved;
}

void onStop(int sig) {
    const int saved = errno;
    if (gEchoOff) ::tcsetattr(gTtyFd, TCSANOW, &gSaved);
    // Stops here as the default action would, and goes on when continued.
    ::signal(sig, SIG_DFL);
    sigset_t stop;
    ::sigemptyset(&stop);
    ::sigaddset(&stop, sig);
    ::sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    ::raise(sig);
    ::sigprocmask(SIG_BLOCK, &stop, nullptr);
    ::signal(sig, onStop);
    // Also when no stop came (a process group without a shell to continue
    // it never stops), the echo goes off again.
    if (gEchoOff) ::tcsetattr(gTtyFd, TCSANOW, &gQuiet);
    errno = saved;
}

std::string findOnPath(const char* name) {
    char found[4096];
    return rivo::findOnPath(std::getenv("PATH"), name, found, sizeof found) ? found : std::string();
}

bool connects(const std::string& socketPath, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (socketPath.empty() || socketPath.size() + offset >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path + offset, socketPath.data(), socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + socketPath.size());
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return ok;
}

bool set(const char* value) {
    return value != nullptr && *value != '\0';
}

bool waylandReachable(const char* display) {
    if (display[0] == '/') return connects(display, false);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return set(runtime) && connects(std::string(runtime) + "/" + display, false);
}

// A local X display (":N" or "unix:N") is reachable when its server's socket
// takes a connection; anything else (another host) is left to the dialog.
bool x11Reachable(const std::string& display) {
    const auto colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return true;
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    const std::string socketPath = "/tmp/.X11-unix/X" + number;
    return connects(socketPath, true) || connects(socketPath, false);
}

// The entry dialog passes its text through g_strcompress (backslash escapes)
// and takes an underscore as a mnemonic: double both. (An --info or --error
// text with --no-markup is shown as it is.)
std::string forZenity(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '_') out.push_back(c);
        out.push_back(c);
    }
    return out;
}

// kdialog shows a text as rich text when it looks like markup, and some of
// its dialogs always do: a file name such as "a.pdf<!-- x" would hide what
// follows it. So the text goes as rich text that says so, with every
// character that markup gives a meaning written as an entity.
std::string forKdialog(std::string_view text) {
    std::string out = "<qt>";
    for (const char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\n':
                out += "<br>";
                break;
            default:
                out.push_back(c);
        }
    }
    return out + "</qt>";
}

// Runs a dialog program; with out, takes the first line it prints. Returns
// its exit status, or -1 when it could not run or did not exit.
int runDialog(const std::string& program, const std::vector<std::string>& args, Password* out,
              Got* got) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (out != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        if (out != nullptr) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
        }
        return -1;
    }
    if (pid == 0) {
        if (out != nullptr) ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (out != nullptr) {
        ::close(pipeFds[1]);
        *got = readLine(pipeFds[0], *out);
        // Whatever else it prints is not read: a dialog that goes on writing
        // gets a broken pipe instead of keeping us here.
        ::close(pipeFds[0]);
    }
    int status = 0;
    // signal() installs our handlers with SA_RESTART: no signal interrupts
    // this wait, and a failed one means the dialog cannot be trusted.
    if (::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

Got readLine(int fd, Password& out) {
    out.length = 0;
    out.tooLong = false;
    if (out.bytes == nullptr) return Got::error;
    // Byte by byte straight into the locked buffer, so nothing after the
    // line is consumed and no copy of the password is left elsewhere.
    for (;;) {
        char* c = &out.bytes[out.length];
        const ssize_t got = fileio::readFully(fd, c, 1);
        if (got < 0) return Got::error;
        if (got == 0 || *c == '\n') break;
        if (out.length == RIVO_PASSWORD_MAX) {
            out.tooLong = true;
            break;
        }
        ++out.length;
    }
    out.bytes[out.length] = '\0';
    return out.length > 0 || out.tooLong ? Got::password : Got::none;
}

void restoreTerminal() {
    if (gEchoOff) {
        ::tcsetattr(gTtyFd, TCSAFLUSH, &gSaved);
        gEchoOff = 0;
        (void)!::write(gTtyFd, "\n", 1);
    }
}

bool haveTerminal() {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

Got askTerminal(const char* prompt, Password& out) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Got::error;
    if (::tcgetattr(fd, &gSaved) != 0) {
        ::close(fd);
        return Got::error;
    }
    gTtyFd = fd;
    // A line as typed, whatever modes were found: started in the background,
    // this reads them while the shell's line editor has the terminal, with
    // no line editing and Enter sending a carriage return that ends no line.
    gQuiet = gSaved;
    gQuiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    gQuiet.c_lflag |= ECHONL | ICANON;
    gQuiet.c_iflag &= ~static_cast<tcflag_t>(INLCR | IGNCR);
    gQuiet.c_iflag |= ICRNL;
    gPrompt = prompt;
    gPromptLength = std::strlen(prompt);
    struct sigaction onCont {
    }, onTstp{}, beforeCont{}, beforeTstp{};
    onCont.sa_handler = onContinue;
    onTstp.sa_handler = onStop;
    onCont.sa_flags = onTstp.sa_flags = SA_RESTART;
    ::sigemptyset(&onCont.sa_mask);
    ::sigemptyset(&onTstp.sa_mask);
    ::sigaction(SIGCONT, &onCont, &beforeCont);
    ::sigaction(SIGTSTP, &onTstp, &beforeTstp);
    // Echo goes off before the prompt shows, so nothing typed after the
    // prompt can be echoed or flushed away.
    gEchoOff = ::tcsetattr(fd, TCSAFLUSH, &gQuiet) == 0;
    (void)!::write(fd, prompt, gPromptLength);
    const Got got = readLine(fd, out);
    // Before the echo comes back, or a late continue would take it away again.
    ::sigaction(SIGTSTP, &beforeTstp, nullptr);
    ::sigaction(SIGCONT, &beforeCont, nullptr);
    // TCSAFLUSH also drops what is left of an overlong line, which would
    // otherwise reach the shell as a command.
    if (gEchoOff) {
        ::tcsetattr(fd, TCSAFLUSH, &gSaved);
        gEchoOff = 0;
    } else {
        ::tcflush(fd, TCIFLUSH);
    }
    gTtyFd = -1;
    ::close(fd);
    return got;
}

Dialog::Found Dialog::find() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!set(display) && !set(wayland)) return Found::noDisplay;
    if (!(set(wayland) && waylandReachable(wayland)) && !(set(display) && x11Reachable(display)))
        return Found::displayUnusable;
    program_ = findOnPath("zenity");
    zenity_ = !program_.empty();
    if (!zenity_) program_ = findOnPath("kdialog");
    return program_.empty() ? Found::noProgram : Found::usable;
}

Got Dialog::askPassword(const char* title, const char* question, Password& out) const {
    Got got = Got::error;
    const int status =
        zenity_
            ? runDialog(program_,
                        {"zenity", "--entry", "--hide-text", std::string("--title=") + title,
                         "--text=" + forZenity(question)},
                        &out, &got)
            : runDialog(program_, {"kdialog", "--title", title, "--password", forKdialog(question)},
                        &out, &got);
    // Both exit 1 on Cancel; anything else non-zero means the dialog never
    // showed (a crash, a display it could not open after all).
    if (status == 1) return Got::none;
    return status == 0 ? got : Got::error;
}

void Dialog::show(bool error, const char* title, const std::string& text) const {
    if (zenity_) {
        runDialog(program_,
                  {"zenity", error ? "--error" : "--info", "--no-markup",
                   std::string("--title=") + title, "--text=" + text},
                  nullptr, nullptr);
    } else {
        runDialog(program_,
                  {"kdialog", "--title", title, error ? "--error" : "--msgbox", forKdialog(text)},
                  nullptr, nullptr);
    }
}

bool Dialog::ask(const char* title, const std::string& question) const {
    const int status =
        zenity_
            ? runDialog(program_,
                        {"zenity", "--question", "--no-markup", std::string("--title=") + title,
                         "--text=" + question},
                        nullptr, nullptr)
            : runDialog(program_, {"kdialog", "--title", title, "--yesno", forKdialog(question)},
                        nullptr, nullptr);
    return status == 0;
}

void runInTerminal(const std::string& self, int argc, char** argv) {
    const std::string terminal = findOnPath("x-terminal-emulator");
    if (terminal.empty()) return;
    // The package, its arguments and the closing prompt reach the script as
    // its own arguments, never as part of its text. Its input is the
    // terminal, or it does not run: a package started there without one
    // would look for a terminal again.
    static const char script[] =
        "exec </dev/tty || exit 2; prompt=$1; shift; \"$0\" \"$@\"; status=$?; "
        "printf '\\n%s ' \"$prompt\"; read -r _; exit $status";
    std::vector<char*> args{const_cast<char*>("x-terminal-emulator"),
                            const_cast<char*>("-e"),
                            const_cast<char*>("/bin/sh"),
                            const_cast<char*>("-c"),
                            const_cast<char*>(script),
                            const_cast<char*>(self.c_str()),
                            const_cast<char*>(text(Msg::pressEnter))};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(terminal.c_str(), args.data());
}

}  // namespace dozo::rivo
