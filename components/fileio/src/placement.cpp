#include "dozo/fileio/placement.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "dozo/fileio/io.h"
#include "dozo/fileio/sys.h"

namespace dozo::fileio {
namespace {

// Leaves room for ".", the tag, two numbers and separators within NAME_MAX.
constexpr std::size_t kNameKept = 200;
constexpr std::size_t kTagMax = 15;

// The named temporaries a signal handler may have to remove. Plain storage and
// lock-free atomics only: a slot is filled while "claimed" and visible to the
// handler only once "live".
enum SlotState : int { kFree, kClaimed, kLive };
struct Slot {
    std::atomic<int> state{kFree};
    int dirFd = -1;
    char name[256] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);
Slot gSlots[16];

int claimSlot(int dirFd, const std::string& name) {
    if (name.size() >= sizeof gSlots[0].name) return -1;
    for (int i = 0; i < static_cast<int>(std::size(gSlots)); ++i) {
        int expected = kFree;
        if (!gSlots[i].state.compare_exchange_strong(expected, kClaimed)) continue;
        gSlots[i].dirFd = dirFd;
        std::memcpy(gSlots[i].name, name.c_str(), name.size() + 1);
        gSlots[i].state.store(kLive);
        return i;
    }
    return -1;  // still swept by the next run, just not at the signal
}

void releaseSlot(int& slot) {
    if (slot >= 0) gSlots[slot].state.store(kFree);
    slot = -1;
}

std::string hiddenName(std::string_view name, const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    std::size_t keep = std::min(name.size(), kNameKept);
    // Never cut a UTF-8 sequence in two.
    while (keep < name.size() && keep > 0 &&
           (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "-%ld-%u", static_cast<long>(::getpid()),
                  counter.fetch_add(1));
    return "." + std::string(name.substr(0, keep)) + "." + tag + suffix;
}

bool allDigits(std::string_view s) {
    if (s.empty() || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The PID in a name of exactly our pattern, else 0.
pid_t leftoverPid(std::string_view name) {
    const auto lastDash = name.rfind('-');
    if (name.empty() || name[0] != '.' || lastDash == std::string_view::npos ||
        !allDigits(name.substr(lastDash + 1)))
        return 0;
    const std::string_view front = name.substr(0, lastDash);
    const auto pidDash = front.rfind('-');
    if (pidDash == std::string_view::npos) return 0;
    const std::string_view pidText = front.substr(pidDash + 1);
    if (!allDigits(pidText) || pidText[0] == '0') return 0;
    const std::string_view stem = front.substr(0, pidDash);
    for (const char* tag : {kTagDozo, kTagUnlha}) {
        const std::string suffix = std::string(".") + tag;
        if (stem.size() > suffix.size() + 1 && stem.ends_with(suffix)) {
            const long long pid = std::stoll(std::string(pidText));
            return pid <= 0x7fffffff ? static_cast<pid_t>(pid) : 0;
        }
    }
    return 0;
}

// A name alone never gets a file deleted: anyone can give a file our pattern,
// an archive can carry one. A temporary of ours also carries, while it has a
// hidden name, this attribute holding its inode number and that very name,
// which nothing but our writer puts on a file (a copy has another inode, a
// renamed or placed file another name). Where the file system keeps no such
// attributes, our leftovers there are simply never swept.
constexpr char kMarker[] = "user.dozo.temporary";

std::string markerOf(ino_t ino, std::string_view name) {
    return std::to_string(ino) + " " + std::string(name);
}

void mark(int fd, const std::string& name) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    const std::string marker = markerOf(st.st_ino, name);
    (void)::fsetxattr(fd, kMarker, marker.data(), marker.size(), 0);
}

bool marked(int fd, const struct stat& st, std::string_view name) {
    char value[NAME_MAX + 32];
    const ssize_t n = ::fgetxattr(fd, kMarker, value, sizeof value);
    return n > 0 &&
           std::string_view(value, static_cast<std::size_t>(n)) == markerOf(st.st_ino, name);
}

// Reads a size-first attribute call (list or get) into `out`, again while the
// attribute grows between the two calls. 0 or an errno value.
template <class Call>
int readAttributeCall(Call call, std::string& out) {
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0) return errno;
        out.assign(static_cast<std::size_t>(size), '\0');
        const ssize_t n = call(out.data(), out.size());
        if (n >= 0) {
            out.resize(static_cast<std::size_t>(n));
            return 0;
        }
        if (errno != ERANGE) return errno;
    }
}

// The names of a NUL-separated attribute list; a file system that keeps no
// attributes has none.
template <class List>
int attributeNames(List list, std::vector<std::string>& names) {
    std::string buffer;
    names.clear();
    if (const int error = readAttributeCall(list, buffer); error != 0)
        return error == ENOTSUP ? 0 : error;
    for (std::size_t at = 0; at < buffer.size();) {
        const std::size_t end = std::min(buffer.find('\0', at), buffer.size());
        if (end > at) names.emplace_back(buffer, at, end - at);
        at = end + 1;
    }
    return 0;
}

constexpr char kAccessAcl[] = "system.posix_acl_access";
// Grants privileges as a set-user-ID bit does: never passed to new content.
constexpr char kCapabilities[] = "security.capability";

mode_t processUmask() {
    // umask() cannot be read without being set, which would race with other
    // threads creating files; the kernel shows it here. Without /proc the
    // strictest mask is assumed: a restored file is never more open than asked.
    FILE* status = std::fopen("/proc/self/status", "re");
    unsigned mask = 077;
    if (status != nullptr) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        }
        std::fclose(status);
    }
    return static_cast<mode_t>(mask & 0777);
}

// Held for the life of the temporary (the lock is on the file, whatever its
// name), so that no sweep removes it while it is being written.
void lockAgainstSweeps(int fd) {
    (void)::flock(fd, LOCK_EX | LOCK_NB);
}

// The sweep reads the whole folder, so a process placing thousands of files in
// one folder would pay for it per file, quadratically. A folder is swept again
// only when something else changed it after our own last placement there.
// Changes made while several of our placements are under way all count as
// ours; a leftover made then, or in the same clock tick as one of our changes,
// waits for the next process's sweep.
struct FolderState {
    dev_t dev = 0;
    ino_t ino = 0;
    timespec changed{};
};
std::mutex gSweptMutex;
std::atomic<int> gUnderWay{0};  // placements between create() and place() or discard()
FolderState gSwept[8];
unsigned gSweptNext = 0;

bool folderState(int dirFd, FolderState& state) {
    struct stat st {};
    if (::fstat(dirFd, &st) != 0) return false;
    state = {st.st_dev, st.st_ino, st.st_ctim};
    return true;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sweptSinceLastChange(const FolderState& now) {
    const bool oursUnderWay = gUnderWay.load() > 0;
    const std::lock_guard lock(gSweptMutex);
    for (const FolderState& known : gSwept) {
        if (known.dev == now.dev && known.ino == now.ino)
            return oursUnderWay || sameTime(known.changed, now.changed);
    }
    return false;
}

void rememberSwept(const FolderState& now) {
    const std::lock_guard lock(gSweptMutex);
    for (FolderState& known : gSwept) {
        if (known.dev == now.dev && known.ino == now.ino) {
            known = now;
            return;
        }
    }
    gSwept[gSweptNext++ % std::size(gSwept)] = now;
}

std::string procPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

Placement::~Placement() {
    discard();
}

void Placement::forgetTemporary() {
    if (!temporary_.empty()) ::unlinkat(dirFd_, temporary_.c_str(), 0);
    temporary_.clear();
    releaseSlot(slot_);
}

void Placement::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    forgetTemporary();
    if (dirFd_ >= 0) ::close(dirFd_);
    dirFd_ = -1;
    flushed_ = false;
    folderKnown_ = false;
    if (underWay_) --gUnderWay;
    underWay_ = false;
}

int Placement::create(int dirFd, std::string_view name, const PlacementOptions& options) {
    discard();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        options.tag == nullptr || *options.tag == '\0' || std::strlen(options.tag) > kTagMax)
        return EINVAL;
    name_ = name;
    tag_ = options.tag;
    dirFd_ = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 3);
    if (dirFd_ < 0) return errno;
    if (options.sweep) {
        FolderState now;
        if (!folderState(dirFd_, now) || !sweptSinceLastChange(now)) sweepLeftovers(dirFd_, name_);
    }

    // Naming an unnamed file later goes through /proc.
    if (::access("/proc/self/fd", X_OK) == 0) {
        fd_ = sysCalls().openat(dirFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, options.mode);
        if (fd_ >= 0) return created();
    }
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        temporary_ = hiddenName(name_, tag_);
        // Listed before it exists, so no signal finds it unlisted.
        slot_ = claimSlot(dirFd_, temporary_);
        fd_ = sysCalls().openat(dirFd_, temporary_.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, options.mode);
        if (fd_ >= 0) {
            mark(fd_, temporary_);
            return created();
        }
        error = errno;
        temporary_.clear();
        releaseSlot(slot_);
    }
    discard();
    return error;
}

int Placement::adopt(int dirFd, std::string_view name, int fd) {
    discard();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos)
        return EINVAL;
    name_ = name;
    tag_ = kTagDozo;
    dirFd_ = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 3);
    if (dirFd_ < 0) return errno;
    fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (fd_ < 0) {
        const int error = errno;
        discard();
        return error;
    }
    return created();
}

int Placement::created() {
    lockAgainstSweeps(fd_);
    underWay_ = true;
    ++gUnderWay;
    FolderState now;
    folderKnown_ = folderState(dirFd_, now);
    folderChanged_ = now.changed;
    return 0;
}

int Placement::setPermissions(mode_t mode, uid_t owner, gid_t group) {
    if (fd_ < 0) return EBADF;
    // Only what differs: some file systems (FUSE and network mounts) refuse
    // any chown, even to the owner a new file already has.
    if (struct stat st{}; ::fstat(fd_, &st) == 0) {
        if (owner == st.st_uid) owner = static_cast<uid_t>(-1);
        if (group == st.st_gid) group = static_cast<gid_t>(-1);
    }
    if ((owner != static_cast<uid_t>(-1) || group != static_cast<gid_t>(-1)) &&
        sysCalls().fchown(fd_, owner, group) != 0)
        return errno;
    return sysCalls().fchmod(fd_, mode) == 0 ? 0 : errno;
}

int Placement::copyAttributes(const char* path) {
    if (fd_ < 0) return EBADF;
    std::vector<std::string> names;
    if (const int error = attributeNames(
            [path](char* list, std::size_t size) { return ::llistxattr(path, list, size); }, names);
        error != 0)
        // A file gone meanwhile has nothing left to keep; whether its result
        // may still be placed is the caller's question (Source::unchanged).
        return error == ENOENT ? 0 : error;
    bool hasAcl = false;
    for (const std::string& name : names) {
        hasAcl = hasAcl || name == kAccessAcl;
        if (name == kCapabilities || name == kMarker) continue;
        std::string value;
        const int error = readAttributeCall(
            [&](char* data, std::size_t size) {
                return ::lgetxattr(path, name.c_str(), data, size);
            },
            value);
        if (error == ENODATA) continue;  // removed since it was listed
        if (error != 0) return error;
        if (sysCalls().fsetxattr(fd_, name.c_str(), value.data(), value.size(), 0) != 0)
            return errno;
    }
    // A folder's default ACL reaches every new file in it; the file replaced
    // had none of it, or it would have an access ACL of its own.
    if (!hasAcl && ::fremovexattr(fd_, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP)
        return errno;
    return 0;
}

int Placement::flush() {
    if (fd_ < 0) return EBADF;
    if (sysCalls().fsync(fd_) != 0) return errno;
    flushed_ = true;
    return 0;
}

int Placement::nameTemporary() {
    const std::string self = procPath(fd_);
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary_ = hiddenName(name_, tag_);
        slot_ = claimSlot(dirFd_, temporary_);
        mark(fd_, temporary_);
        if (::linkat(AT_FDCWD, self.c_str(), dirFd_, temporary_.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        const int error = errno;
        temporary_.clear();
        releaseSlot(slot_);
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

int Placement::place(Existing existing) {
    if (fd_ < 0) return EBADF;
    // Only a folder nobody else touched while we wrote stays known as swept.
    FolderState before;
    const bool ours = gUnderWay.load() > 1 || (folderKnown_ && folderState(dirFd_, before) &&
                                               sameTime(before.changed, folderChanged_));
    const int error = placeAs(existing);
    if (FolderState after; error == 0 && ours && folderState(dirFd_, after)) rememberSwept(after);
    return error;
}

int Placement::placeAs(Existing existing) {
    if (temporary_.empty()) {
        if (existing == Existing::keep) {
            // linkat never replaces: the atomic no-clobber, without any
            // hidden name at all.
            if (::linkat(AT_FDCWD, procPath(fd_).c_str(), dirFd_, name_.c_str(),
                         AT_SYMLINK_FOLLOW) != 0)
                return errno;
            if (flushed_) ::fsync(dirFd_);
            return 0;
        }
        // rename needs a name to move; it has one only for this instant.
        if (int error = nameTemporary(); error != 0) return error;
    }
    if (existing == Existing::replace) {
        if (sysCalls().renameat(dirFd_, temporary_.c_str(), dirFd_, name_.c_str()) != 0)
            return errno;
        temporary_.clear();
    } else if (::renameat2(dirFd_, temporary_.c_str(), dirFd_, name_.c_str(), RENAME_NOREPLACE) ==
               0) {
        temporary_.clear();
    } else if (errno == EINVAL || errno == ENOSYS) {
        // A file system without RENAME_NOREPLACE: a second link never
        // replaces either, and the hidden name goes afterwards.
        if (::linkat(dirFd_, temporary_.c_str(), dirFd_, name_.c_str(), 0) != 0) return errno;
    } else {
        return errno;
    }
    forgetTemporary();
    // Placed under its own name, it is a temporary no more.
    (void)::fremovexattr(fd_, kMarker);
    if (flushed_) ::fsync(dirFd_);
    return 0;
}

void removeNamedTemporaries() noexcept {
    for (Slot& slot : gSlots) {
        if (slot.state.load() == kLive) ::unlinkat(slot.dirFd, slot.name, 0);
    }
}

std::string scratchName(std::string_view stem) {
    return hiddenName(stem, kTagDozo);
}

int markScratch(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const std::string name = slash != nullptr ? slash + 1 : path;
    if (leftoverPid(name) != ::getpid()) return EINVAL;
    const Fd fd(
        ::open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (fd.get() < 0) return errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return EINVAL;
    mark(fd.get(), name);
    return 0;
}

bool isOurTemporary(int dirFd, std::string_view name) {
    if (leftoverPid(name) <= 0) return false;
    const std::string entry(name);
    const Fd file(
        ::openat(dirFd, entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    return file.get() >= 0 && ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode) &&
           marked(file.get(), st, name);
}

int markWorkFile(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const std::string name = slash != nullptr ? slash + 1 : path;
    const Fd made(::open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (made.get() >= 0) {
        mark(made.get(), name);
        return 0;
    }
    if (errno != EEXIST) return errno;
    // Only a file our own call made (and a kill left) is taken again: it
    // still carries the mark with its own inode and name.
    const Fd there(::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    const bool ours = there.get() >= 0 && ::fstat(there.get(), &st) == 0 && S_ISREG(st.st_mode) &&
                      st.st_uid == ::geteuid() && st.st_nlink == 1 && marked(there.get(), st, name);
    return ours ? 0 : EEXIST;
}

bool removeLeftoverWorkFile(int dirFd, std::string_view name) {
    const std::string entry(name);
    const Fd file(
        ::openat(dirFd, entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid() || st.st_nlink != 1 || st.st_size != 0 ||
        !marked(file.get(), st, name) || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    // The name must still be the file just checked.
    struct stat now {};
    if (::fstatat(dirFd, entry.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        now.st_dev != st.st_dev || now.st_ino != st.st_ino)
        return false;
    return ::unlinkat(dirFd, entry.c_str(), 0) == 0;
}

int sweepLeftovers(int dirFd, std::string_view keep) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == keep) continue;
        const pid_t pid = leftoverPid(name);
        // EPERM means the process lives under another user: not ours to judge.
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        // Only a file of this user's (root's files for root: never another
        // user's, in a shared sticky folder least of all), and one name of it.
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1)
            continue;
        Fd file(::openat(dirFd, entry->d_name,
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened {};
        if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || opened.st_dev != st.st_dev ||
            opened.st_ino != st.st_ino || !marked(file.get(), opened, name))
            continue;
        // A writer in another PID namespace looks dead from here; its lock on
        // the temporary says otherwise.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) continue;
        if (::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

mode_t restoredMode(mode_t stored) {
    // Read once: an extraction asks for every file and folder, and nothing of
    // ours changes the umask while it runs.
    static const mode_t mask = processUmask();
    return stored & 0777 & ~mask;
}

}  // namespace dozo::fileio
