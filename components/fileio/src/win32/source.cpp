#include "dozo/fileio/source.h"

#include <fcntl.h>
#include <windows.h>

#include <string>

#include "handle.h"
#include "path.h"

namespace dozo::fileio {

using namespace win32;

Source::~Source() {
    close();
}

void Source::close() {
    release(fd_);
}

Status Source::open(const char* path) {
    close();
    std::wstring wide;
    if (!widen(path, wide)) return Status::sourceOpen;
    // Others may go on reading, writing, renaming or deleting the file, as
    // they may on POSIX; an in-place run must be able to replace it once we
    // are done.
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Status::sourceOpen;
    // Only a file on disk: a pipe, console or device given as the source is
    // refused, as POSIX refuses what is not a regular file.
    LARGE_INTEGER size{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size)) {
        ::CloseHandle(h);
        return Status::sourceOpen;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) {
        ::CloseHandle(h);
        return Status::sourceOpen;
    }
    fd_ = adopt(h, _O_RDONLY);
    if (fd_ < 0) return Status::sourceOpen;
    path_ = path;
    size_ = size.QuadPart;
    volume_ = info.dwVolumeSerialNumber;
    indexHigh_ = info.nFileIndexHigh;
    indexLow_ = info.nFileIndexLow;
    changed_ = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime);
    return Status::ok;
}

// The file at the path (not the handle's, which may have been renamed away)
// must still be the one read, with its size and last write time.
bool Source::unchanged() const {
    std::wstring wide;
    if (fd_ < 0 || !widen(path_.c_str(), wide)) return false;
    const HANDLE h =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    const auto changed = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime);
    const auto size = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    return ok && info.dwVolumeSerialNumber == volume_ && info.nFileIndexHigh == indexHigh_ &&
           info.nFileIndexLow == indexLow_ && size == size_ && changed == changed_;
}

Status Source::readAt(std::int64_t offset, void* buffer, std::size_t n) {
    const HANDLE h = handleOf(fd_);
    auto* out = static_cast<unsigned char*>(buffer);
    while (n > 0) {
        // On a synchronous handle the offset in OVERLAPPED makes this a
        // positioned read, like pread.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD got = 0;
        if (!::ReadFile(h, out, want, &got, &at) || got == 0) return Status::read;
        out += got;
        offset += got;
        n -= got;
    }
    return Status::ok;
}

}  // namespace dozo::fileio
