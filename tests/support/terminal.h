#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace dozo::test {

// A program run on a pseudo-terminal, which is its controlling terminal,
// standard input, output and error: what a user at a shell sees and types.
class TerminalSession {
public:
    // argv[0] is the program; env is its whole environment.
    TerminalSession(const std::vector<std::string>& argv, const std::vector<std::string>& env);
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;
    ~TerminalSession();  // kills the program if it still runs

    // Reads until `text` appears or the terminal closes; the guard only keeps
    // a hung program from hanging the suite.
    bool waitFor(const std::string& text);
    void type(const std::string& text);
    // Reads until the terminal closes; the wait status.
    int exitStatus();

    int master = -1;
    pid_t pid = -1;
    std::string seen;  // everything the terminal showed
};

// This process's environment without the named variables.
std::vector<std::string> environmentWithout(std::initializer_list<const char*> names);

}  // namespace dozo::test
