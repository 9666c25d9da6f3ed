#pragma once

#include <windows.h>

#include "secret.h"

namespace dozo::rivo {

// A program of the GUI subsystem gets no console of its own. Started by a
// script or a test, its standard handles are the files and pipes it was
// given; started from a console window, it has none, and takes that
// window's console instead; double-clicked, it has neither. Called once,
// before anything is printed.
void useConsole();
// Whether anything printed reaches someone.
bool haveConsole();

// The first line of standard input, or of a file: as the Linux package reads
// it, with a Windows line end (CR LF) stripped whole. From a console window
// the line is typed without echo, in UTF-8 whatever the console's code page.
Got readLine(HANDLE from, Password& out);
HANDLE standardInput();

}  // namespace dozo::rivo
