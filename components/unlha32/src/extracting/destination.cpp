#include "extracting/destination.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "command/outcome.h"
#include "dozo/fileio/placement.h"

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

Destination::FolderId idOf(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

bool makePath(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

bool Destination::open(const std::string& rawPath, std::string& reason, int& error) {
    const std::string path = trimSeparators(rawPath);
    rootPath_ = path;
    if (path.empty() || !makePath(path)) {
        error = path.empty() ? ENOENT : errno;
        reason = "展開先のフォルダーを作れません: " + printable(path) + " (" +
                 std::strerror(error) + ")";
        return false;
    }
    root_.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root_.get() < 0) {
        error = errno;
        reason = "展開先のフォルダーを開けません: " + printable(path) + " (" +
                 std::strerror(error) + ")";
        return false;
    }
    return true;
}

std::string Destination::pathOf(const std::vector<std::string>& parts, std::size_t count) const {
    const std::string below = joined(parts, count);
    if (below.empty()) return rootPath_;
    return rootPath_ == "/" ? "/" + below : rootPath_ + "/" + below;
}

int Destination::walk(const std::vector<std::string>& parts, std::size_t count) const {
    Fd current(::fcntl(root_.get(), F_DUPFD_CLOEXEC, 3));
    for (std::size_t i = 0; i < count && current.get() >= 0; ++i)
        current.reset(::openat(current.get(), parts[i].c_str(), kFolderFlags));
    return current.release();
}

int Destination::openFolders(const std::vector<std::string>& parts, std::size_t count, Made& made,
                             Failure& failure) {
    // Entries come folder before contents: go on from where the last walk
    // ended when this one passes through it.
    std::size_t start = 0;
    if (last_.get() >= 0 && lastParts_.size() <= count &&
        std::equal(lastParts_.begin(), lastParts_.end(), parts.begin()))
        start = lastParts_.size();
    else
        lastParts_.clear();
    Fd current(::fcntl(start > 0 ? last_.get() : root_.get(), F_DUPFD_CLOEXEC, 3));
    last_.reset();
    for (std::size_t i = start; i < count && current.get() >= 0; ++i) {
        const char* part = parts[i].c_str();
        int fd = ::openat(current.get(), part, kFolderFlags);
        bool madeHere = false;
        if (fd < 0 && errno == ENOENT) {
            madeHere = ::mkdirat(current.get(), part, 0777) == 0;
            fd = ::openat(current.get(), part, kFolderFlags);
        }
        struct stat st {};
        if (madeHere && fd >= 0 && ::fstat(fd, &st) == 0) {
            made_.insert(idOf(st));
            // Only a chain that goes on unbroken from the first made folder.
            struct stat parent {};
            if (made.ids.empty() && ::fstat(current.get(), &parent) == 0) {
                made.first = i;
                made.ids.push_back(idOf(parent));
            }
            if (i + 1 == made.first + made.ids.size()) {
                made.ids.push_back(idOf(st));
                made.deepest.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
            }
        }
        if (fd < 0) {
            lastParts_.clear();
            failure.error = errno;
            failure.path = joined(parts, i + 1);
            failure.count = i + 1;
            struct stat link {};
            failure.throughLink = ::fstatat(current.get(), part, &link, AT_SYMLINK_NOFOLLOW) == 0 &&
                                  S_ISLNK(link.st_mode);
            return -1;
        }
        current.reset(fd);
    }
    if (current.get() < 0) {
        failure = {".", errno, false};
        return -1;
    }
    last_.reset(::fcntl(current.get(), F_DUPFD_CLOEXEC, 3));
    lastParts_.insert(lastParts_.end(), parts.begin() + static_cast<std::ptrdiff_t>(start),
                      parts.begin() + static_cast<std::ptrdiff_t>(count));
    return current.release();
}

void Destination::removeMade(const std::vector<std::string>& parts, Made& made) {
    // Upwards from the deepest, each parent reached through ".." and taken
    // only when it is the folder the child was made in, wherever it is now.
    Fd current(made.deepest.release());
    // The last walk may end in a folder that goes now.
    last_.reset();
    lastParts_.clear();
    for (std::size_t k = made.ids.size(); k-- > 1 && current.get() >= 0;) {
        const char* name = parts[made.first + k - 1].c_str();
        Fd parent(::openat(current.get(), "..", kFolderFlags));
        struct stat st {};
        struct stat child {};
        if (parent.get() < 0 || ::fstat(parent.get(), &st) != 0 || idOf(st) != made.ids[k - 1] ||
            ::fstatat(parent.get(), name, &child, AT_SYMLINK_NOFOLLOW) != 0 ||
            idOf(child) != made.ids[k] || ::unlinkat(parent.get(), name, AT_REMOVEDIR) != 0)
            break;
        made_.erase(made.ids[k]);
        current = std::move(parent);
    }
    made.ids.clear();
}

void Destination::rememberFolder(int folder, const std::vector<std::string>& parts, mode_t mode,
                                 time_t mtime) {
    struct stat st {};
    if (::fstat(folder, &st) != 0 || made_.count(idOf(st)) == 0) return;
    if (nodes_.empty()) nodes_.push_back({0, {}, 0});
    std::size_t node = 0;
    for (const std::string& part : parts) {
        const auto [it, added] = children_.try_emplace({node, part}, nodes_.size());
        if (added) nodes_.push_back({node, part, nodes_[node].depth + 1});
        node = it->second;
    }
    nodes_[node].id = idOf(st);
    nodes_[node].timed = true;
    nodes_[node].mode = mode;
    nodes_[node].mtime = mtime;
}

std::vector<std::string> Destination::partsOf(std::size_t node) const {
    std::vector<std::string> parts(nodes_[node].depth);
    for (std::size_t n = node; n != 0; n = nodes_[n].parent)
        parts[nodes_[n].depth - 1] = nodes_[n].name;
    return parts;
}

std::vector<std::string> Destination::applyFolderTimes() {
    // Deepest first: a folder's time is final only once nothing more is made in
    // it, and a parent left without write or search permission would stop us.
    std::vector<std::size_t> timed;
    for (std::size_t n = 0; n < nodes_.size(); ++n)
        if (nodes_[n].timed) timed.push_back(n);
    std::stable_sort(timed.begin(), timed.end(), [&](std::size_t a, std::size_t b) {
        return nodes_[a].depth > nodes_[b].depth;
    });
    std::vector<std::string> warnings;
    Fd current;
    std::size_t at = 0;  // the node current is open on
    for (const std::size_t n : timed) {
        const Node& d = nodes_[n];
        const std::vector<std::string> parts = partsOf(n);
        // A chain of folders goes up by "..", taken only when it is the same
        // folder; anything else walks down from the destination again.
        struct stat st {};
        if (current.get() >= 0 && nodes_[at].parent == n) {
            current.reset(::openat(current.get(), "..", kFolderFlags));
            if (current.get() >= 0 && (::fstat(current.get(), &st) != 0 || idOf(st) != d.id))
                current.reset();
        } else {
            current.reset();
        }
        if (current.get() < 0) current.reset(walk(parts, parts.size()));
        at = n;
        const std::string path = joined(parts, parts.size());
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
    nodes_.clear();
    children_.clear();
    return warnings;
}

int Destination::flush() const {
    return ::syncfs(root_.get()) == 0 ? 0 : errno;
}

}  // namespace unlha32
