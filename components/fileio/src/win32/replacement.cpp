#include "dozo/fileio/replacement.h"

#include <fcntl.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>

#include "dozo/fileio/source.h"
#include "handle.h"
#include "path.h"

namespace dozo::fileio {

using namespace win32;

namespace {

// Attributes a rewritten file keeps from the one it replaces. Archive is set
// as for any file whose content changed.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr wchar_t kTemporaryTag[] = L".dozo-";

// ".NAME" for the destination's NAME, cut so that the temporary's name
// stays within the 255 units a name may have (never inside a pair of
// surrogates), as POSIX shortens long names.
std::wstring temporaryStem(const std::wstring& target) {
    constexpr std::size_t kKept = 200;
    std::wstring name = nameOf(target);
    if (name.size() > kKept) {
        std::size_t cut = kKept;
        if (name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF) --cut;
        name.resize(cut);
    }
    return L"." + name;
}

// Beside the destination, hidden, tied to it and unique per process and call,
// as on POSIX.
std::wstring temporaryPath(const std::wstring& target, const std::string& suffix) {
    std::wstring path = folderOf(target) + temporaryStem(target);
    path.append(suffix.begin(), suffix.end());
    return path;
}

std::string temporarySuffix() {
    static std::atomic<unsigned> counter{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".dozo-%lu-%u",
                  static_cast<unsigned long>(::GetCurrentProcessId()), counter.fetch_add(1));
    return suffix;
}

bool processGone(DWORD pid) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool gone = ::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    ::CloseHandle(process);
    return gone;
}

// A process killed while writing leaves its temporary behind. The next result
// for the same destination removes those whose process is gone; one still
// open elsewhere cannot be deleted anyway.
void removeStaleTemporaries(const std::wstring& target) {
    const std::wstring folder = folderOf(target);
    const std::wstring prefix = temporaryStem(target) + kTemporaryTag;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        wchar_t* end = nullptr;
        const unsigned long pid = std::wcstoul(name.c_str() + prefix.size(), &end, 10);
        if (pid == 0 || *end != L'-' || pid == ::GetCurrentProcessId()) continue;
        if (processGone(pid)) ::DeleteFileW((folder + name).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// Volume and file index of an existing file or folder.
bool identify(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE h =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    return ok;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The file index in the fields the header gives it (dev_t and ino_t, which
// are 32 and 16 bits here). The low half of the index tells apart any two
// files that exist at one time on a volume (on NTFS it is the low half of
// the record number); the high half, folded in, adds the record's reuse count.
void fileId(const BY_HANDLE_FILE_INFORMATION& info, dev_t& dev, ino_t& ino) {
    dev = static_cast<dev_t>(info.nFileIndexLow);
    ino = static_cast<ino_t>((info.nFileIndexHigh & 0xFFFF) ^ (info.nFileIndexHigh >> 16));
}

// Read-only or not a file: never replaced. Checked by ourselves because not
// every MoveFileEx refuses a read-only target (Wine's replaces it).
bool refusesReplacement(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

}  // namespace

Replacement::Replacement() = default;

int Replacement::fd() const {
    return fd_;
}

Replacement::~Replacement() {
    discard();
}

void Replacement::discard() {
    release(fd_);
    if (!tempName_.empty()) ::DeleteFileW(temporaryPath(wideTarget_, tempName_).c_str());
    tempName_.clear();
}

Status Replacement::open(const char* destinationPath, bool keepNewcomer) {
    discard();
    std::wstring target;
    if (!widen(destinationPath, target)) return Status::destinationCreate;
    const Status status = open(target, keepNewcomer);
    target_ = destinationPath;
    return status;
}

Status Replacement::open(const std::wstring& target, bool keepNewcomer) {
    discard();
    target_.clear();
    wideTarget_ = target;

    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    destinationExists_ = attributes != INVALID_FILE_ATTRIBUTES;
    keepNewcomer_ = keepNewcomer && !destinationExists_;
    if (destinationExists_) {
        if (refusesReplacement(attributes)) return Status::destinationReadOnly;
        // Denied by its access list: as read-only as the attribute makes it.
        const HANDLE probe = ::CreateFileW(target.c_str(), FILE_WRITE_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
            return Status::destinationReadOnly;
        if (probe != INVALID_HANDLE_VALUE) ::CloseHandle(probe);
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return Status::destinationCreate;
    }
    if (nameOf(target).empty()) return Status::destinationCreate;

    removeStaleTemporaries(target);
    tempName_ = temporarySuffix();
    const HANDLE h = ::CreateFileW(temporaryPath(target, tempName_).c_str(), GENERIC_WRITE, 0,
                                   nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        tempName_.clear();
        return Status::destinationCreate;
    }
    fd_ = adopt(h, _O_WRONLY);
    if (fd_ < 0) {
        discard();
        return Status::destinationCreate;
    }
    return Status::ok;
}

Status Replacement::write(const void* data, std::size_t n) {
    const HANDLE h = handleOf(fd_);
    const auto* in = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD put = 0;
        if (!::WriteFile(h, in, want, &put, nullptr) || put == 0) return Status::write;
        in += put;
        n -= put;
    }
    return Status::ok;
}

// Mode bits have no meaning here; the destination's attributes are kept.
Status Replacement::commit(unsigned /*extraModeBits*/, Source* source) {
    if (fd_ < 0) return Status::replace;
    if (!::FlushFileBuffers(handleOf(fd_))) {
        discard();
        return Status::write;
    }
    release(fd_);
    if (source != nullptr) {
        const bool unchanged = source->unchanged();
        // Replacing a file that is still open fails here, even when it was
        // opened to be shared for deletion.
        source->close();
        if (!unchanged) {
            discard();
            return Status::sourceChanged;
        }
    }

    const std::wstring& target = wideTarget_;
    const std::wstring temporary = temporaryPath(target, tempName_);
    // The destination may have changed while the result was written.
    const DWORD now = ::GetFileAttributesW(target.c_str());
    if (refusesReplacement(now)) {
        discard();
        return Status::destinationReadOnly;
    }
    const DWORD kept = now == INVALID_FILE_ATTRIBUTES ? 0 : now & kKeptAttributes;
    if (!::SetFileAttributesW(temporary.c_str(), kept | FILE_ATTRIBUTE_ARCHIVE) ||
        !::MoveFileExW(temporary.c_str(), target.c_str(),
                       (keepNewcomer_ ? 0 : MOVEFILE_REPLACE_EXISTING) | MOVEFILE_WRITE_THROUGH)) {
        discard();
        return Status::replace;
    }
    tempName_.clear();
    return Status::ok;
}

WorkFile::~WorkFile() {
    if (path_.empty()) return;
    // Only the file we created goes: when the work path was also the (then
    // missing) destination, the result has since been renamed onto it.
    std::wstring path;
    BY_HANDLE_FILE_INFORMATION info;
    if (widen(path_.c_str(), path) && identify(path, info)) {
        dev_t dev;
        ino_t ino;
        fileId(info, dev, ino);
        if (dev == dev_ && ino == ino_) ::DeleteFileW(path.c_str());
    }
}

Status WorkFile::create(const char* path, std::initializer_list<const char*> mustNotBe) {
    std::wstring wide;
    if (!widen(path, wide)) return Status::workCreate;
    // Truncating the work file must never truncate the user's file.
    BY_HANDLE_FILE_INFORMATION work{};
    if (identify(wide, work)) {
        for (const char* other : mustNotBe) {
            std::wstring otherWide;
            BY_HANDLE_FILE_INFORMATION info;
            if (widen(other, otherWide) && identify(otherWide, info) && sameFile(info, work))
                return Status::workCreate;
        }
        if ((work.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Status::workCreate;
    }

    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Status::workCreate;
    // A device name (NUL, COM1) is never ours to keep or remove.
    BY_HANDLE_FILE_INFORMATION info;
    const bool onDisk =
        ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    if (!onDisk) return Status::workCreate;
    path_ = path;
    fileId(info, dev_, ino_);
    return Status::ok;
}

}  // namespace dozo::fileio
