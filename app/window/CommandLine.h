#pragma once

#include <QString>
#include <QStringList>

namespace dozo {

// The window's own command line, after Qt has taken its options: --help and
// --version answer on standard output and end the program, as every desktop
// program does; anything else that looks like an option is refused rather
// than opened as a target. "--" ends the options, so a file named like one
// can still be given.
struct CommandLine {
    enum class Action { OpenWindow, Help, Version, Refused };

    Action action = Action::OpenWindow;
    // The files for the window, "--" taken out.
    QStringList files;
    // What to print: the usage, the version, or why the line was refused.
    QString text;

    // With `qtOptionsLeft`, the arguments may still hold Qt's own options
    // (the program's raw command line): unknown options are then passed
    // over instead of refused, so that --help and --version can be answered
    // before Qt needs a display.
    static CommandLine parse(const QStringList& arguments, bool qtOptionsLeft = false);

    // How many of argv's entries Qt may see: those before "--". Qt takes
    // its own options (-reverse, -style, -platform ...) out of argv wherever
    // they stand, so a file named like one after "--" would otherwise be
    // taken as an option, or a platform to load.
    static int qtArgumentCount(int argc, const char* const* argv);
};

}  // namespace dozo
