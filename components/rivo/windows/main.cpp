// The Windows front of every package: the same format, options and exit
// codes as the Linux one. Opened by a double-click it asks for the password
// in a dialog and tells the outcome in message boxes; given a password option
// (or an option that only prints) it works as the Linux package does on a
// terminal, on the standard handles it was started with.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "dialogs.h"
#include "exit_code.h"
#include "licenses.h"
#include "messages.h"
#include "outcome.h"
#include "restore.h"
#include "secret.h"
#include "wide.h"
#include "windows_name.h"

using namespace dozo::rivo;

namespace {

struct Options {
    std::optional<std::wstring> outputDir;
    std::optional<std::wstring> passwordFile;
    bool force = false;
    bool testOnly = false;
    bool info = false;
    bool help = false;
    bool version = false;
    bool licenses = false;
    bool passwordStdin = false;

    // Whatever prints or takes its password from elsewhere runs without a
    // dialog.
    bool console() const {
        return help || version || licenses || info || passwordStdin || passwordFile;
    }
};

void print(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void print(FILE* stream, const char* format, ...) {
    char line[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    put(stream, line);
}

// Accepts "--name VALUE" and "--name=VALUE", as the Linux package does.
bool takeValue(const std::wstring& arg, const wchar_t* name, std::size_t& i,
               const std::vector<std::wstring>& args, std::optional<std::wstring>& value,
               bool& missing) {
    const std::size_t n = std::wcslen(name);
    if (arg.compare(0, n, name) != 0) return false;
    if (arg.size() > n && arg[n] == L'=') {
        value = arg.substr(n + 1);
        return true;
    }
    if (arg.size() != n) return false;
    if (i + 1 >= args.size()) {
        missing = true;
        return true;
    }
    value = args[++i];
    return true;
}

// Usage errors are said and kept: without a console they go to a box.
ExitCode parseOptions(const std::vector<std::wstring>& args, Options& o) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        bool missing = false;
        if (a == L"-f" || a == L"--force") {
            o.force = true;
        } else if (a == L"-t" || a == L"--test") {
            o.testOnly = true;
        } else if (a == L"--info") {
            o.info = true;
        } else if (a == L"-h" || a == L"--help") {
            o.help = true;
        } else if (a == L"--version") {
            o.version = true;
        } else if (a == L"--licenses") {
            o.licenses = true;
        } else if (a == L"--password-stdin") {
            o.passwordStdin = true;
        } else if (takeValue(a, L"-o", i, args, o.outputDir, missing) ||
                   takeValue(a, L"--output", i, args, o.outputDir, missing) ||
                   takeValue(a, L"--password-file", i, args, o.passwordFile, missing)) {
            if (missing) {
                say(stderr, text(Msg::missingValue), shown(narrow(a)).c_str());
                return kExitUsage;
            }
        } else {
            say(stderr, text(Msg::badOption), shown(narrow(a)).c_str());
            return kExitUsage;
        }
    }
    if (o.passwordStdin && o.passwordFile) {
        say(stderr, "%s", text(Msg::conflict));
        return kExitUsage;
    }
    return kExitOk;
}

std::wstring selfPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char line[4096];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(line, sizeof line, pattern, args);
    va_end(args);
    return line;
}

ExitCode readPassword(const Options& o, Password& pw) {
    if (pw.bytes == nullptr) {
        say(stderr, "%s", text(Msg::noMemory));
        return kExitIo;
    }
    Got got = Got::error;
    if (o.passwordStdin) {
        // As on Linux, input that cannot be read gives no password.
        got = readLine(standardInput(), pw);
    } else {
        const HANDLE file = ::CreateFileW(o.passwordFile->c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        got = file == INVALID_HANDLE_VALUE ? Got::error : readLine(file, pw);
        if (got == Got::error) {
            const std::string reason = lastError();
            say(stderr, text(Msg::passwordFile), shownPath(*o.passwordFile).c_str(),
                reason.c_str());
        }
        if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
        if (got == Got::error) return kExitIo;
    }
    if (got != Got::password) {
        say(stderr, "%s", text(Msg::cancelled));
        return kExitCancelled;
    }
    if (pw.tooLong) {
        say(stderr, text(Msg::passwordTooLong), RIVO_PASSWORD_MAX);
        return kExitWrongPassword;
    }
    return kExitOk;
}

// The name the stored one is restored under, said when it had to change.
std::wstring restoredName(const Metadata& meta) {
    const std::string name = windowsName(meta.name, "rivo-restored");
    if (name != meta.name)
        say(stdout, text(Msg::renamed), shown(meta.name).c_str(), shown(name).c_str());
    return wide(name);
}

ExitCode verify(Unsealing& unsealing, const WinPackage& p, const Metadata& meta,
                const std::wstring& name) {
    const Unsealed step = unsealing.content([](const std::uint8_t*, std::size_t) { return true; });
    if (step != Unsealed::ok) return report(step, p.shownPath);
    say(stdout, text(Msg::verified), shown(narrow(name)).c_str(), (unsigned long long)meta.size);
    return kExitOk;
}

// From a script, a console or a test: as the Linux package on a terminal.
ExitCode runInConsole(const Options& o, const WinPackage& p, const std::wstring& folder) {
    Password pw;
    if (const ExitCode rc = readPassword(o, pw); rc != kExitOk) return rc;
    Unsealing unsealing(p, p.where);
    Metadata meta;
    Unsealed step = unsealing.unlock(pw.bytes, pw.length);
    if (step == Unsealed::ok) step = unsealing.metadata(meta);
    if (step != Unsealed::ok) return report(step, p.shownPath);
    const Destination d{folder, restoredName(meta), o.force};
    if (o.testOnly) return verify(unsealing, p, meta, d.name);
    const ExitCode rc = writeRestored(unsealing, p, meta, d, nullptr);
    if (rc == kExitExists) say(stderr, text(Msg::exists), shownPath(d.path()).c_str());
    if (rc == kExitOk) say(stdout, text(Msg::restored), shownPath(d.path()).c_str());
    return rc;
}

int failed(ExitCode rc) {
    ui::box(ui::Icon::error, keptMessages(), {"OK"});
    return rc;
}

// Where the user wants the file when its name is taken: the same name
// replaced, another one chosen in the save dialog, or nowhere (nullopt).
std::optional<Destination> whereInstead(const Destination& d) {
    for (;;) {
        const int choice = ui::box(ui::Icon::question,
                                   format(text(Msg::existsIn), shown(narrow(d.name)).c_str(),
                                          shownFolder(d.folder).c_str()),
                                   {Msg::replace, Msg::saveAs, Msg::cancel}, 2, 1);
        if (choice == 0) return Destination{d.folder, d.name, true};
        if (choice == 2) return std::nullopt;
        if (const auto chosen = ui::saveAs(d.folder, d.name)) {
            const std::wstring folder = folderOf(*chosen);
            // The dialog asked before it let an existing file be chosen.
            return Destination{folder, chosen->substr(folder.size()), true};
        }
    }
}

// Double-clicked: the password in a dialog, the outcome in a box.
int runWithDialogs(const Options& o, const WinPackage& p, const std::wstring& folder) {
    Password pw;
    Unsealing unsealing(p, p.where);
    Unsealed unlocked = Unsealed::ok;
    const std::string question =
        format(text(Msg::dialogText), shown(narrow(p.path.substr(folderOf(p.path).size()))).c_str(),
               shownFolder(folder).c_str());
    const Got got = ui::askPassword(question, pw, [&](const Password& typed) {
        if (typed.tooLong) {
            char line[256];
            std::snprintf(line, sizeof line, text(Msg::passwordTooLong), RIVO_PASSWORD_MAX);
            ui::box(ui::Icon::warning, line, {"OK"});
            return false;
        }
        unlocked = unsealing.unlock(typed.bytes, typed.length);
        if (unlocked != Unsealed::wrongPassword) return true;
        ui::box(ui::Icon::warning, text(Msg::wrongPasswordAgain), {"OK"});
        return false;
    });
    if (got != Got::password) return got == Got::none ? kExitCancelled : failed(kExitIo);
    Metadata meta;
    if (unlocked == Unsealed::ok) unlocked = unsealing.metadata(meta);
    if (unlocked != Unsealed::ok) return failed(report(unlocked, p.shownPath));

    const std::size_t said = keptMessages().size();
    Destination d{folder, restoredName(meta), o.force};
    const std::string renamed = keptMessages().substr(said);
    if (o.testOnly) {
        const ExitCode rc = verify(unsealing, p, meta, d.name);
        if (rc != kExitOk) return failed(rc);
        ui::box(ui::Icon::information, keptMessages(), {"OK"});
        return rc;
    }
    const std::wstring storedAs = d.name;
    ExitCode rc = kExitExists;
    while (rc == kExitExists) {
        if (!d.replace && exists(d.path())) {
            const std::optional<Destination> instead = whereInstead(d);
            if (!instead) {
                say(stderr, text(Msg::keptExisting), shownPath(d.path()).c_str());
                return kExitExists;
            }
            d = *instead;
        }
        ui::Progress window(format(text(Msg::restoring), shown(narrow(d.name)).c_str(),
                                   shownFolder(d.folder).c_str()));
        rc = writeRestored(unsealing, p, meta, d, [&](std::uint64_t done, std::uint64_t total) {
            // Only where it takes long enough to be seen.
            if (total >= (std::uint64_t{32} << 20)) window.progress(done, total);
        });
        // Made by someone else meanwhile: asked again; the content is read anew.
        if (rc == kExitExists && unsealing.metadata(meta) != Unsealed::ok) rc = kExitDamaged;
    }
    if (rc != kExitOk) return failed(rc);
    say(stdout, text(Msg::restored), shownPath(d.path()).c_str());
    const std::string done =
        format(text(Msg::restoredIn), shown(narrow(d.name)).c_str(), shownFolder(d.folder).c_str());
    // A name the user chose in the save dialog needs no word on the stored one.
    const bool quiet = renamed.empty() || d.name != storedAs;
    if (ui::box(ui::Icon::information, quiet ? done : done + "\n\n" + renamed,
                {Msg::openFolder, "OK"}, 1, 1) == 0)
        ui::showInFolder(d.path());
    return kExitOk;
}

int run(const std::vector<std::wstring>& args) {
    // Whatever is said also goes to the handles the program was given (or the
    // console it was started from), dialogs or not, as the Linux package
    // prints beside its dialogs.
    useConsole();
    Options o;
    const ExitCode parsed = parseOptions(args, o);
    const bool dialogs = !o.console() && parsed == kExitOk;
    if (dialogs || !haveConsole()) keepMessages();
    if (parsed != kExitOk) return haveConsole() ? parsed : failed(parsed);

    const std::wstring self = selfPath();
    if (o.help) {
        print(stdout, text(Msg::help), shownPath(self).c_str());
        return kExitOk;
    }
    if (o.version) {
        print(stdout, text(Msg::version), kProgramVersion, unsigned{kFormatVersion});
        return kExitOk;
    }
    if (o.licenses) {
        put(stdout, licenses().c_str());
        return kExitOk;
    }

    WinPackage p;
    if (const ExitCode rc = openPackage(self, p); rc != kExitOk)
        return dialogs || !haveConsole() ? failed(rc) : rc;
    if (o.info) {
        printInfo(p);
        return kExitOk;
    }
    std::wstring folder = folderOf(self);
    if (o.outputDir && !o.testOnly) {
        // Checked before the password, so a bad folder costs no key derivation.
        folder = outputFolder(*o.outputDir);
        if (folder.empty()) return dialogs || !haveConsole() ? failed(kExitIo) : kExitIo;
    }
    if (dialogs) return runWithDialogs(o, p, folder);
    const ExitCode rc = runInConsole(o, p, folder);
    // Given a password file by a shortcut, say: nobody reads a console.
    if (!haveConsole() && !keptMessages().empty())
        ui::box(rc == kExitOk ? ui::Icon::information : ui::Icon::error, keptMessages(), {"OK"});
    return rc;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv, argv + argc);
    ::LocalFree(argv);
    return run(args);
}
