#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Code and data that must work before the C library has started: placed at
// the front of the program, so that they are there even when the rest of a
// package's program part is cut off. See self.cpp.
// The Windows front has no such part: the system's loader checks the whole
// image before anything runs.
#ifdef _WIN32
#define RIVO_EARLY_CODE
#define RIVO_EARLY_DATA
#define RIVO_EARLY_INLINE_DATA(name)
#else
#define RIVO_EARLY_CODE __attribute__((section(".rivo_early"), used, no_stack_protector))
#define RIVO_EARLY_DATA __attribute__((section(".rivo_early_data")))
// The same for a text defined in this header (each in a section of its own:
// inline variables live in groups that may not share a section with others).
#define RIVO_EARLY_INLINE_DATA(name) __attribute__((section(".rivo_early_data." #name)))
#endif

namespace dozo::rivo {

// The version both fronts give with --version.
inline constexpr char kProgramVersion[] = "1.0";

// Every text the program shows, in English; each is a printf format. The
// English text is also the key of its translation, and text() carries
// format_arg, so the compiler checks every call's arguments against it.
struct Msg {
    static constexpr char help[] =
        "Usage: %s [options]\n"
        "Restores the file protected inside this package, next to the package.\n"
        "\n"
        "  -o, --output DIR        restore into DIR instead\n"
        "  -f, --force             replace an existing file of the same name\n"
        "  -t, --test              check the package and the password, write nothing\n"
        "      --info              show format and sizes (no password needed)\n"
        "      --password-stdin    read the password from the first line of standard input\n"
        "      --password-file F   read the password from the first line of file F\n"
        "      --version           show the version\n"
        "      --licenses          show the licenses of the libraries built into it\n"
        "  -h, --help              show this help\n"
        "\n"
        "Exit codes: 0 done, 1 wrong password, 2 usage, 3 damaged or not a package,\n"
        "4 output exists, 5 read/write error, 6 no password entered.\n";
    static constexpr char version[] = "Dozo package %s (format %u)\n";
    static constexpr char prompt[] = "Password for %s: ";
    RIVO_EARLY_INLINE_DATA(dialogTitle) static constexpr char dialogTitle[] = "Dozo package";
    // The first line stays free of names: kdialog decides from it whether a
    // text is markup.
    static constexpr char dialogText[] =
        "Enter the password to restore the file held in this package.\n"
        "\n"
        "Package: %s\n"
        "Folder: %s";
    static constexpr char noDialog[] =
        "No dialog could be shown: the display %s cannot be reached.\n";
    static constexpr char noTerminal[] =
        "%s is a password-protected package.\n"
        "Open a terminal and run it there:\n"
        "  %s\n"
        "or give the password with --password-stdin or --password-file FILE.\n";
    static constexpr char cancelled[] = "No password entered.\n";
    static constexpr char wrongPassword[] = "Wrong password.\n";
    static constexpr char passwordTooLong[] =
        "The password is longer than %d bytes, which no package has; refused.\n";
    RIVO_EARLY_INLINE_DATA(damaged)
    static constexpr char damaged[] =
        "The package is damaged or incomplete; nothing was written.\n";
    static constexpr char notPackage[] = "%s holds no package.\n";
    static constexpr char extraData[] =
        "%s is damaged or has extra data at its end; nothing was written.\n";
    static constexpr char unsupported[] =
        "This package uses a format this program does not know.\n";
    static constexpr char costTooHigh[] =
        "The package asks for a key-derivation cost beyond the accepted bounds; refused.\n";
    static constexpr char exists[] = "%s already exists; use -f to replace it.\n";
    // Asked in a dialog instead: whoever double-clicked a package has no
    // option to give.
    static constexpr char askReplace[] = "%s already exists.\nReplace it?";
    static constexpr char keptExisting[] = "%s already exists and was kept; nothing was written.\n";
    static constexpr char renamed[] =
        "The stored name %s cannot be used here; the file is restored as %s.\n";
    static constexpr char readFailed[] = "Cannot read the package %s: %s\n";
    static constexpr char writeFailed[] = "Cannot write %s: %s\n";
    static constexpr char outputDir[] = "Cannot use the folder %s: %s\n";
    static constexpr char passwordFile[] = "Cannot read the password file %s: %s\n";
    static constexpr char noMemory[] = "Not enough memory to derive the key.\n";
    static constexpr char restored[] = "Restored %s\n";
    static constexpr char verified[] =
        "The package is intact and the password is right (%s, %llu bytes).\n";
    static constexpr char badOption[] = "Unknown option or argument: %s (see --help)\n";
    static constexpr char missingValue[] = "Option %s needs a value (see --help)\n";
    static constexpr char conflict[] =
        "Give at most one of --password-stdin and --password-file.\n";
    static constexpr char info[] =
        "Format version:   %u\n"
        "Package size:     %llu bytes\n"
        "Program size:     %llu bytes\n"
        "Payload size:     %llu bytes\n"
        "Content size:     %llu bytes\n"
        "Key derivation:   Argon2id, %u passes, %u KiB\n"
        "Runs on:          %s\n";
    // Started without a dialog program: the package runs itself in a terminal
    // window, which this keeps open until the outcome was read.
    static constexpr char pressEnter[] = "Press Enter to close this window.";
    // The Windows front's dialogs.
    static constexpr char showPassword[] = "&Show password";
    static constexpr char cancel[] = "Cancel";
    static constexpr char aboutItem[] = "&About this program and its licenses...";
    static constexpr char aboutTitle[] = "About Dozo package";
    static constexpr char wrongPasswordAgain[] = "The password is wrong. Enter it again.";
    static constexpr char restoredIn[] = "Restored %s\nFolder: %s";
    static constexpr char restoring[] = "Restoring %s\nFolder: %s";
    static constexpr char openFolder[] = "&Open folder";
    static constexpr char existsIn[] =
        "%s already exists in the folder %s.\n"
        "Replace it, or save the restored file under another name?";
    static constexpr char replace[] = "&Replace";
    static constexpr char saveAs[] = "Save &as...";
    static constexpr char saveAsTitle[] = "Save the restored file as";
    static constexpr char allFiles[] = "All files";
};

struct Translation {
    const char* english;  // one of the Msg texts
    const char* japanese;
};
// The Japanese texts, one per Msg text.
extern const Translation kJapanese[];
extern const std::size_t kJapaneseCount;
// Msg::damaged and Msg::dialogTitle, for the early check.
extern const char kJapaneseDamaged[];
extern const char kJapaneseDialogTitle[];

#ifndef _WIN32
// Whether the locale that decides messages (LC_ALL, else LC_MESSAGES, else
// LANG) in envp starts with "ja". Runs before the C library has started.
bool japaneseLocale(char* const* envp) RIVO_EARLY_CODE;
#endif

// The text in the user's language, else english itself. On Linux Japanese
// when the locale that decides messages (LC_ALL, else LC_MESSAGES, else LANG)
// starts with "ja"; on Windows when the user's interface language is
// Japanese.
const char* text(const char* english) __attribute__((format_arg(1)));
bool japanese();

// The system's reason for the last failed call (errno, or GetLastError()).
std::string lastError();
// Writes a message to standard output or error: as it is on Linux, and on
// Windows as the console or the file or pipe behind the handle takes it.
void put(FILE* stream, const char* message);

// A name from outside (a package's file name, a stored name, a folder) made
// safe to print on a terminal: control characters, DEL, C1 controls and bytes
// that are not UTF-8 become \xHH escapes, so no name can move the cursor,
// recolour the screen or retitle the window.
std::string shown(std::string_view name);

// Prints a message for the user on stream (standard output or error) and,
// once keepMessages() was called, keeps it for a dialog as well.
void say(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void keepMessages();
// Everything said since keepMessages(), standard output and error in order.
const std::string& keptMessages();

}  // namespace dozo::rivo
