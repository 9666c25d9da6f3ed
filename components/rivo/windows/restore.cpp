#include "restore.h"

#include <io.h>

#include "dozo/fileio/replacement.h"
#include "messages.h"
#include "outcome.h"
#include "wide.h"

namespace dozo::rivo {
namespace {

bool separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

ExitCode writeFailed(const Destination& d) {
    const std::string reason = lastError();
    say(stderr, text(Msg::writeFailed), shownPath(d.path()).c_str(), reason.c_str());
    return kExitIo;
}

// A Unix time as Windows keeps file times: 100-nanosecond steps since 1601.
bool fileTime(std::int64_t seconds, std::uint32_t nanoseconds, FILETIME& out) {
    constexpr std::int64_t kFrom1601 = 11644473600;
    if (seconds < -kFrom1601 || seconds > (INT64_MAX / 10000000) - kFrom1601) return false;
    const auto ticks =
        static_cast<std::uint64_t>((seconds + kFrom1601) * 10000000 + nanoseconds / 100);
    out.dwLowDateTime = static_cast<DWORD>(ticks);
    out.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return true;
}

// A package downloaded from the internet carries the zone it came from in a
// stream of its own; the restored file gets the same, so that Windows treats
// it with the care it gives the package (a document opens protected, a
// program asks first).
void passOnZone(const std::wstring& package, const std::wstring& restored) {
    const HANDLE in = ::CreateFileW((package + L":Zone.Identifier").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return;
    char zone[4096];
    DWORD n = 0;
    const bool read = ::ReadFile(in, zone, sizeof zone, &n, nullptr) && n > 0;
    ::CloseHandle(in);
    if (!read) return;
    const HANDLE out = ::CreateFileW((restored + L":Zone.Identifier").c_str(), GENERIC_WRITE, 0,
                                     nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(out, zone, n, &written, nullptr);
    ::CloseHandle(out);
}

}  // namespace

WinPackage::~WinPackage() {
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

bool WinPackage::readAt(void* buffer, std::size_t n, std::uint64_t offset) const {
    auto* into = static_cast<unsigned char*>(buffer);
    while (n > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        if (!::ReadFile(file, into, want, &got, &at)) return false;
        if (got == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        into += got;
        offset += got;
        n -= got;
    }
    return true;
}

ExitCode openPackage(const std::wstring& path, WinPackage& p) {
    p.path = path;
    p.shownPath = shownPath(path);
    p.file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size{};
    if (p.file == INVALID_HANDLE_VALUE || !::GetFileSizeEx(p.file, &size)) {
        const std::string reason = lastError();
        say(stderr, text(Msg::readFailed), p.shownPath.c_str(), reason.c_str());
        return kExitIo;
    }
    p.bytes = static_cast<std::uint64_t>(size.QuadPart);
    return report(locate(p, p.where), p.shownPath);
}

void printInfo(const WinPackage& p) {
    const Located& w = p.where;
    char line[1024];
    std::snprintf(line, sizeof line, text(Msg::info), unsigned{w.header.version},
                  (unsigned long long)w.fileSize, (unsigned long long)w.trailer.payloadOffset,
                  (unsigned long long)w.trailer.payloadSize,
                  (unsigned long long)contentSizeFor(w.header.sealedSize).value_or(0),
                  w.header.opslimit, w.header.memlimitKib, "Windows (x86-64)");
    put(stdout, line);
}

std::wstring folderOf(const std::wstring& path) {
    std::size_t end = path.size();
    while (end > 0 && !separator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::string shownFolder(const std::wstring& folder) {
    std::wstring trimmed = folder;
    if (trimmed.size() > 1 && separator(trimmed.back()) && trimmed[trimmed.size() - 2] != L':')
        trimmed.pop_back();
    return shownPath(trimmed);
}

bool exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring outputFolder(const std::wstring& given) {
    const DWORD n = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    if (n != 0) full.resize(::GetFullPathNameW(given.c_str(), n, full.data(), nullptr));
    const DWORD attributes = n == 0 ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (attributes != INVALID_FILE_ATTRIBUTES) ::SetLastError(ERROR_DIRECTORY);
        const std::string reason = lastError();
        say(stderr, text(Msg::outputDir), shownPath(given).c_str(), reason.c_str());
        return {};
    }
    if (!separator(full.back())) full += L'\\';
    return full;
}

ExitCode writeRestored(Unsealing& unsealing, const WinPackage& p, const Metadata& meta,
                       const Destination& d,
                       const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
    const std::wstring path = d.path();
    if (!d.replace && exists(path)) return kExitExists;
    fileio::Replacement out;
    // A missing destination that appears meanwhile was made by someone else:
    // it stays, and the result is dropped.
    if (const fileio::Status opened = out.open(path, !d.replace); opened != fileio::Status::ok) {
        if (opened == fileio::Status::destinationReadOnly) ::SetLastError(ERROR_ACCESS_DENIED);
        return writeFailed(d);
    }
    std::uint64_t written = 0;
    const Unsealed step = unsealing.content([&](const std::uint8_t* block, std::size_t n) {
        if (out.write(block, n) != fileio::Status::ok) return false;
        written += n;
        if (progress) progress(written, meta.size);
        return true;
    });
    if (step == Unsealed::sinkFailed) return writeFailed(d);
    if (step != Unsealed::ok) return report(step, p.shownPath);
    FILETIME stored;
    if (fileTime(meta.mtimeSec, meta.mtimeNsec, stored))
        ::SetFileTime(reinterpret_cast<HANDLE>(::_get_osfhandle(out.fd())), nullptr, nullptr,
                      &stored);
    if (out.commit() != fileio::Status::ok) {
        if (!d.replace && exists(path)) return kExitExists;
        return writeFailed(d);
    }
    passOnZone(p.path, path);
    return kExitOk;
}

}  // namespace dozo::rivo
