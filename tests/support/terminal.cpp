#include "terminal.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

extern char** environ;

namespace dozo::test {

TerminalSession::TerminalSession(const std::vector<std::string>& argv,
                                 const std::vector<std::string>& env) {
    // Built before the fork: the child only execs.
    std::vector<char*> args, vars;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& v : env) vars.push_back(const_cast<char*>(v.c_str()));
    args.push_back(nullptr);
    vars.push_back(nullptr);
    pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ::execve(args[0], args.data(), vars.data());
        ::_exit(127);
    }
}

TerminalSession::~TerminalSession() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    if (master >= 0) ::close(master);
}

bool TerminalSession::waitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (seen.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) return false;  // EIO once the program has closed the terminal
        seen.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

void TerminalSession::type(const std::string& text) {
    (void)!::write(master, text.data(), text.size());
}

int TerminalSession::exitStatus() {
    waitFor("\x01never");
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return status;
}

std::vector<std::string> environmentWithout(std::initializer_list<const char*> names) {
    std::vector<std::string> env;
    for (char** v = environ; *v != nullptr; ++v) {
        bool dropped = false;
        for (const char* name : names) {
            const std::size_t n = std::strlen(name);
            dropped = dropped || (std::strncmp(*v, name, n) == 0 && (*v)[n] == '=');
        }
        if (!dropped) env.emplace_back(*v);
    }
    return env;
}

}  // namespace dozo::test
