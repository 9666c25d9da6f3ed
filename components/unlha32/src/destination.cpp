#include "destination.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "dozo/fileio/placement.h"
#include "outcome.h"

namespace unlha32 {
namespace {

using dozo::fileio::Fd;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) path += (i > 0 ? "/" : "") + parts[i];
    return path;
}

std::string trimSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    if (path == "\\") path = "/";
    return path;
}

bool makePath(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

bool Destination::open(const std::string& rawPath, std::string& reason) {
    const std::string path = trimSeparators(rawPath);
    if (path.empty() || !makePath(path)) {
        reason = "展開先のフォルダーを作れません: " + printable(path) + " (" +
                 std::strerror(errno) + ")";
        return false;
    }
    root_.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root_.get() < 0) {
        reason = "展開先のフォルダーを開けません: " + printable(path) + " (" +
                 std::strerror(errno) + ")";
        return false;
    }
    return true;
}

int Destination::openFolders(const std::vector<std::string>& parts, std::size_t count,
                             std::vector<Made>& made, Failure& failure) {
    Fd current(::fcntl(root_.get(), F_DUPFD_CLOEXEC, 3));
    for (std::size_t i = 0; i < count && current.get() >= 0; ++i) {
        const char* part = parts[i].c_str();
        int fd = ::openat(current.get(), part, kFolderFlags);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(current.get(), part, 0777) == 0) {
                const std::string path = joined(parts, i + 1);
                made.push_back({Fd(::fcntl(current.get(), F_DUPFD_CLOEXEC, 3)), parts[i], path});
                made_.insert(path);
            }
            fd = ::openat(current.get(), part, kFolderFlags);
        }
        if (fd < 0) {
            failure.error = errno;
            failure.path = joined(parts, i + 1);
            struct stat st {};
            failure.throughLink = ::fstatat(current.get(), part, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                                  S_ISLNK(st.st_mode);
            return -1;
        }
        current.reset(fd);
    }
    if (current.get() < 0) failure = {".", errno, false};
    return current.release();
}

void Destination::removeMade(std::vector<Made>& made) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        if (it->parent.get() >= 0 &&
            ::unlinkat(it->parent.get(), it->name.c_str(), AT_REMOVEDIR) == 0)
            made_.erase(it->path);
    }
    made.clear();
}

void Destination::rememberFolder(const std::vector<std::string>& parts, mode_t mode, time_t mtime) {
    if (made_.count(joined(parts, parts.size())) != 0) times_.push_back({parts, mode, mtime});
}

std::vector<std::string> Destination::applyFolderTimes() {
    // Deepest first: a folder's time is final only once nothing more is made in
    // it, and a parent left without write or search permission would stop us.
    std::stable_sort(times_.begin(), times_.end(), [](const FolderTimes& a, const FolderTimes& b) {
        return a.parts.size() > b.parts.size();
    });
    std::vector<std::string> warnings;
    for (const FolderTimes& d : times_) {
        Fd current(::fcntl(root_.get(), F_DUPFD_CLOEXEC, 3));
        for (const std::string& part : d.parts) {
            if (current.get() < 0) break;
            current.reset(::openat(current.get(), part.c_str(), kFolderFlags));
        }
        const std::string path = joined(d.parts, d.parts.size());
        if (current.get() < 0) {
            warnings.push_back("フォルダーの時刻と属性を戻せません: " + printable(path) + " (" +
                               std::strerror(errno) + ")");
            continue;
        }
        const timespec times[2] = {{0, UTIME_OMIT}, {d.mtime, 0}};
        if (::futimens(current.get(), times) != 0) {
            warnings.push_back("フォルダーの時刻を戻せません: " + printable(path) + " (" +
                               std::strerror(errno) + ")");
        }
        if (::fchmod(current.get(), dozo::fileio::restoredMode(d.mode)) != 0) {
            warnings.push_back("フォルダーの属性を戻せません: " + printable(path) + " (" +
                               std::strerror(errno) + ")");
        }
    }
    times_.clear();
    return warnings;
}

}  // namespace unlha32
