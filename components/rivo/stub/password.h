#pragma once

#include <cstddef>

#include "rivo.h"

namespace dozo::rivo {

// A password as entered: opaque bytes, kept out of swap and core dumps
// where the system allows it, and wiped when it goes away.
struct Password {
    char bytes[RIVO_PASSWORD_MAX + 1];
    std::size_t length = 0;
    bool tooLong = false;  // longer than any package accepts: cannot be right
    Password();
    ~Password();
    Password(const Password&) = delete;
    Password& operator=(const Password&) = delete;
};

enum class Got { password, none, error };

// First line of fd, the trailing newline stripped and nothing else.
Got readLine(int fd, Password& out);
// Prompts on /dev/tty with echo off. Got::error when there is no terminal.
Got askTerminal(const char* prompt, Password& out);
// zenity or kdialog, when a desktop session is there and one is on PATH.
// Got::error when neither can be used.
Got askDesktop(const char* title, const char* text, Password& out);

// Puts the terminal back if a signal ends the program during the prompt.
void restoreTerminal();

}  // namespace dozo::rivo
