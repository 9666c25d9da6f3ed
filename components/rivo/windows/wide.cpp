#include "wide.h"

#include <windows.h>

#include "messages.h"

namespace dozo::rivo {

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::string shownPath(const std::wstring& path) {
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(L'\\', start);
        out += shown(narrow(path.substr(start, end - start)));
        if (end == std::wstring::npos) return out;
        out += '\\';
        start = end + 1;
    }
}

}  // namespace dozo::rivo
