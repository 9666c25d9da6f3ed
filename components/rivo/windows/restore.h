#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "exit_code.h"
#include "unseal.h"

namespace dozo::rivo {

// The package this program was started from, read through its own handle.
struct WinPackage final : PackageFile {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;
    std::string shownPath;
    std::uint64_t bytes = 0;
    Located where;

    WinPackage() = default;
    WinPackage(const WinPackage&) = delete;
    WinPackage& operator=(const WinPackage&) = delete;
    ~WinPackage();
    std::uint64_t size() const override { return bytes; }
    bool readAt(void* buffer, std::size_t n, std::uint64_t offset) const override;
};

// Opens the package at path and finds its payload; says why when it cannot.
ExitCode openPackage(const std::wstring& path, WinPackage& p);
void printInfo(const WinPackage& p);

// Where a restored file goes.
struct Destination {
    std::wstring folder;  // with its final separator
    std::wstring name;
    bool replace = false;  // a file of that name may be replaced
    std::wstring path() const { return folder + name; }
};

// The folder part of a path, with its final separator.
std::wstring folderOf(const std::wstring& path);
// A folder as it is shown: without the final separator, but for a drive's
// root ("C:\").
std::string shownFolder(const std::wstring& folder);
bool exists(const std::wstring& path);
// An existing folder, as a full path with its final separator; empty (the
// reason said) when it is none.
std::wstring outputFolder(const std::wstring& given);

// After unsealing.metadata(): decrypts the content into a temporary beside
// the destination, flushes it, gives it the stored time and moves it into
// place, replacing a file only when the destination says so; nothing is left
// when any byte is damaged. kExitExists (nothing said) when a file of that
// name is there and may not be replaced; any other failure is said.
// `progress` hears of the bytes written.
ExitCode writeRestored(Unsealing& unsealing, const WinPackage& p, const Metadata& meta,
                       const Destination& d,
                       const std::function<void(std::uint64_t, std::uint64_t)>& progress);

}  // namespace dozo::rivo
