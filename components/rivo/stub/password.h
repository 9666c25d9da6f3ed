#pragma once

#include <string>

#include "secret.h"

namespace dozo::rivo {

// First line of fd, the trailing newline stripped and nothing else. Reads at
// most one byte past RIVO_PASSWORD_MAX: a longer line is tooLong, however
// long it goes on. An empty line is Got::none, as is an empty input.
Got readLine(int fd, Password& out);
// Whether this process has a terminal to prompt on.
bool haveTerminal();
// Prompts on /dev/tty with echo off. Got::error when there is no terminal.
Got askTerminal(const char* prompt, Password& out);

// zenity or kdialog in a desktop session, found in absolute PATH entries only.
class Dialog {
public:
    enum class Found { usable, noDisplay, displayUnusable, noProgram };
    // Looks for a display this process can reach, then for a program.
    Found find();
    // Got::error when the dialog could not be shown.
    Got askPassword(const char* title, const char* question, Password& out) const;
    // An information or error box; returns when the user closes it.
    void show(bool error, const char* title, const std::string& text) const;
    // A yes/no question; true for yes.
    bool ask(const char* title, const std::string& question) const;

private:
    bool zenity_ = true;
    std::string program_;
};

// Puts the terminal back if a signal ends the program during the prompt.
void restoreTerminal();

// Started from a desktop that has no dialog program: runs this package again
// in the desktop's terminal window (x-terminal-emulator, found in absolute
// PATH entries only), with the same arguments, where it can ask for the
// password; the window stays open until Enter, so the outcome can be read.
// Returns only when no terminal could be started.
void runInTerminal(const std::string& self, int argc, char** argv);

}  // namespace dozo::rivo
