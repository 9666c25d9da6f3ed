#include "console.h"

#include <cstdio>
#include <string>

#include "messages.h"
#include "wide.h"

namespace dozo::rivo {
namespace {

HANDLE gInput = INVALID_HANDLE_VALUE;
HANDLE gOutput = INVALID_HANDLE_VALUE;
HANDLE gError = INVALID_HANDLE_VALUE;

bool usable(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return usable(h) && ::GetConsoleMode(h, &mode);
}

HANDLE openConsole(const wchar_t* name, DWORD access) {
    return ::CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         0, nullptr);
}

}  // namespace

void useConsole() {
    gInput = ::GetStdHandle(STD_INPUT_HANDLE);
    gOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    gError = ::GetStdHandle(STD_ERROR_HANDLE);
    if (usable(gOutput) || usable(gError) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    gOutput = openConsole(L"CONOUT$", GENERIC_READ | GENERIC_WRITE);
    gError = gOutput;
    if (!usable(gInput)) gInput = openConsole(L"CONIN$", GENERIC_READ | GENERIC_WRITE);
}

bool haveConsole() {
    return usable(gOutput) || usable(gError);
}

HANDLE standardInput() {
    return gInput;
}

void put(FILE* stream, const char* message) {
    const HANDLE h = stream == stdout ? gOutput : gError;
    if (!usable(h)) return;
    DWORD done = 0;
    if (isConsole(h)) {
        // A console shows UTF-16 as it is; bytes it would read in its own
        // code page.
        const std::wstring text = wide(message);
        ::WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    std::string_view bytes(message);
    while (!bytes.empty() &&
           ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
           done > 0)
        bytes.remove_prefix(done);
}

bool japanese() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

std::string lastError() {
    const DWORD code = ::GetLastError();
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n != 0 ? std::wstring(text, n) : std::wstring();
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty()) return "error " + std::to_string(code);
    return narrow(message);
}

Got readLine(HANDLE from, Password& out) {
    out.length = 0;
    out.tooLong = false;
    if (out.bytes == nullptr || !usable(from)) return Got::error;
    DWORD mode = 0;
    if (::GetConsoleMode(from, &mode)) {
        // Typed: one line as UTF-16, without echo, into a buffer that is
        // wiped before it goes.
        ::SetConsoleMode(from, (mode | ENABLE_LINE_INPUT) & ~DWORD{ENABLE_ECHO_INPUT});
        wchar_t typed[RIVO_PASSWORD_MAX + 3];
        DWORD n = 0;
        const BOOL ok = ::ReadConsoleW(from, typed, RIVO_PASSWORD_MAX + 2, &n, nullptr);
        ::SetConsoleMode(from, mode);
        put(stderr, "\n");
        while (ok && n > 0 && (typed[n - 1] == L'\n' || typed[n - 1] == L'\r')) --n;
        const int bytes = ok ? ::WideCharToMultiByte(CP_UTF8, 0, typed, static_cast<int>(n),
                                                     out.bytes, RIVO_PASSWORD_MAX, nullptr, nullptr)
                             : 0;
        out.tooLong = ok && n > 0 && bytes == 0;
        out.length = static_cast<std::size_t>(bytes);
        ::SecureZeroMemory(typed, sizeof typed);
        if (!ok) return Got::error;
    } else {
        // Byte by byte straight into the locked buffer, so nothing after the
        // line is consumed and no copy of the password is left elsewhere.
        for (;;) {
            char* c = &out.bytes[out.length];
            DWORD got = 0;
            if (!::ReadFile(from, c, 1, &got, nullptr)) {
                if (::GetLastError() != ERROR_BROKEN_PIPE) return Got::error;
                got = 0;
            }
            if (got == 0 || *c == '\n') break;
            if (out.length == RIVO_PASSWORD_MAX) {
                out.tooLong = true;
                break;
            }
            ++out.length;
        }
        if (!out.tooLong && out.length > 0 && out.bytes[out.length - 1] == '\r') --out.length;
    }
    out.bytes[out.length] = '\0';
    return out.length > 0 || out.tooLong ? Got::password : Got::none;
}

}  // namespace dozo::rivo
