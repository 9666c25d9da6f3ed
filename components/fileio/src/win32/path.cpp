#include "path.h"

#include <windows.h>

namespace dozo::fileio::win32 {
namespace {

std::size_t nameStart(const std::wstring& path) {
    const auto separator = path.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? 0 : separator + 1;
}

}  // namespace

bool widen(const char* path, std::wstring& wide) {
    wide.clear();
    if (path == nullptr || *path == '\0') return false;
    const int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (n <= 1) return false;
    wide.resize(static_cast<std::size_t>(n));
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide.data(), n) != n)
        return false;
    wide.resize(static_cast<std::size_t>(n - 1));
    return true;
}

std::wstring folderOf(const std::wstring& path) {
    return path.substr(0, nameStart(path));
}

std::wstring nameOf(const std::wstring& path) {
    return path.substr(nameStart(path));
}

}  // namespace dozo::fileio::win32
