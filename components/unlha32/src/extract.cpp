#include "extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "archive_reader.h"
#include "entry_name.h"

namespace unlha32 {
namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

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

bool makeDestination(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

mode_t currentUmask() {
    // umask() cannot be read without being set, which would race with other
    // threads of the application creating files; the kernel shows it here.
    FILE* status = std::fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (status != nullptr) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        }
        std::fclose(status);
    }
    return static_cast<mode_t>(mask & 0777);
}

struct DirectoryTimes {
    std::vector<std::string> parts;
    mode_t mode;
    time_t mtime;
};

class Extractor {
public:
    Extractor(ArchiveReader& reader, bool overwrite) : reader_(reader), overwrite_(overwrite) {}

    Outcome run(const std::string& destination);

private:
    enum class Step { next, stop };

    Step extractEntry(archive_entry* entry);
    Step extractFile(archive_entry* entry, const std::vector<std::string>& parts,
                     const std::string& name);
    // Opens the folder parts[0..count) below the destination, creating what is
    // missing; -1 after a problem has been noted.
    int openDirectories(const std::vector<std::string>& parts, std::size_t count,
                        std::vector<std::string>& createdNow, const std::string& name);
    void removeCreated(const std::vector<std::string>& createdNow);
    void applyDirectoryTimes();
    void problem(int code, const std::string& line);
    bool skipData();

    ArchiveReader& reader_;
    const bool overwrite_;
    const mode_t umask_ = currentUmask();
    Fd root_;
    std::set<std::string> created_;  // folders this run made, by joined path
    std::vector<DirectoryTimes> directoryTimes_;
    Outcome first_;         // the first problem other than a kept file
    Outcome firstSkipped_;  // the first kept file
    int problems_ = 0;
    int skipped_ = 0;
};

void Extractor::problem(int code, const std::string& line) {
    assert(code != UNLHA_OK);
    warn(line);
    // A kept file must not hide damage found after it.
    if (code == UNLHA_ERROR_SKIPPED) {
        if (!firstSkipped_.failed()) firstSkipped_ = failure(code, line);
        ++skipped_;
    } else {
        if (!first_.failed()) first_ = failure(code, line);
        ++problems_;
    }
}

bool Extractor::skipData() {
    if (reader_.skipData() == ARCHIVE_OK) return true;
    problem(UNLHA_ERROR_DATA, "書庫が途中で切れています: " + reader_.error());
    return false;
}

Outcome Extractor::run(const std::string& rawDestination) {
    const std::string destination = trimSeparators(rawDestination);
    if (destination.empty() || !makeDestination(destination)) {
        return failure(UNLHA_ERROR_WRITE, "展開先のフォルダーを作れません: " + destination + " (" +
                                              std::strerror(errno) + ")");
    }
    root_.reset(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root_.get() < 0) {
        return failure(UNLHA_ERROR_WRITE, "展開先のフォルダーを開けません: " + destination + " (" +
                                              std::strerror(errno) + ")");
    }

    int entries = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = reader_.next(entry);
        if (r == ARCHIVE_EOF) break;
        if (r == ARCHIVE_FATAL || entry == nullptr) {
            problem(UNLHA_ERROR_NOT_ARCHIVE, "書庫のヘッダーが壊れています: " + reader_.error());
            break;
        }
        ++entries;
        if (r == ARCHIVE_FAILED) {
            problem(UNLHA_ERROR_NOT_ARCHIVE, "読めない項目があります: " + reader_.error());
            if (!skipData()) break;
            continue;
        }
        if (extractEntry(entry) == Step::stop) break;
    }
    if (entries == 0 && problems_ == 0) problem(UNLHA_ERROR_NOT_ARCHIVE, "書庫に項目がありません");
    applyDirectoryTimes();

    if (problems_ == 0 && skipped_ == 0) return {};
    if (problems_ == 0) {
        return failure(UNLHA_ERROR_SKIPPED, std::to_string(skipped_) +
                                                "個の既存ファイルを上書きせずに残しました (" +
                                                firstSkipped_.reason + ")");
    }
    if (problems_ + skipped_ == 1) return first_;
    return failure(first_.code, std::to_string(problems_ + skipped_) +
                                    "件の問題がありました。最初の問題: " + first_.reason);
}

Extractor::Step Extractor::extractEntry(archive_entry* entry) {
    const char* rawName = archive_entry_pathname_utf8(entry);
    if (rawName == nullptr) rawName = archive_entry_pathname(entry);
    if (rawName == nullptr) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, "名前を読めない項目を展開しません: " + reader_.error());
        return skipData() ? Step::next : Step::stop;
    }
    const std::string name = rawName;

    std::vector<std::string> parts;
    std::string why;
    if (!splitEntryName(name, parts, why)) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, why + "は展開しません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    const mode_t type = archive_entry_filetype(entry);
    if (archive_entry_hardlink(entry) != nullptr || archive_entry_symlink(entry) != nullptr ||
        type == AE_IFLNK) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, "リンクは展開しません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    if (type != AE_IFREG && type != AE_IFDIR) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, "特殊ファイルは展開しません: " + name);
        return skipData() ? Step::next : Step::stop;
    }

    if (type == AE_IFDIR) {
        std::vector<std::string> createdNow;
        Fd dir(openDirectories(parts, parts.size(), createdNow, name));
        if (dir.get() >= 0 && created_.count(joined(parts, parts.size())) != 0) {
            directoryTimes_.push_back({parts, static_cast<mode_t>(archive_entry_perm(entry)),
                                       archive_entry_mtime(entry)});
        }
        return skipData() ? Step::next : Step::stop;
    }
    return extractFile(entry, parts, name);
}

int Extractor::openDirectories(const std::vector<std::string>& parts, std::size_t count,
                               std::vector<std::string>& createdNow, const std::string& name) {
    Fd current(::dup(root_.get()));
    for (std::size_t i = 0; i < count && current.get() >= 0; ++i) {
        const char* part = parts[i].c_str();
        int fd = ::openat(current.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(current.get(), part, 0777) == 0) {
                const std::string path = joined(parts, i + 1);
                created_.insert(path);
                createdNow.push_back(path);
            }
            fd = ::openat(current.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            struct stat st {};
            const int error = errno;
            if (::fstatat(current.get(), part, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode)) {
                problem(UNLHA_ERROR_UNSAFE_ENTRY, "展開先のシンボリックリンクはたどりません: " +
                                                      joined(parts, i + 1) + " (" + name + ")");
            } else {
                problem(UNLHA_ERROR_WRITE, "フォルダーを作れません: " + joined(parts, i + 1) +
                                               " (" + std::strerror(error) + ")");
            }
            return -1;
        }
        current.reset(fd);
    }
    return current.release();
}

void Extractor::removeCreated(const std::vector<std::string>& createdNow) {
    for (auto it = createdNow.rbegin(); it != createdNow.rend(); ++it) {
        if (::unlinkat(root_.get(), it->c_str(), AT_REMOVEDIR) == 0) created_.erase(*it);
    }
}

// An unnamed file in dir when the file system offers one, so even a killed run
// leaves nothing; otherwise a hidden, uniquely named one.
class Temporary {
public:
    Temporary(int dir, const std::string& leaf) : dir_(dir) {
        // Naming an unnamed file later goes through /proc.
        if (::access("/proc/self/fd", X_OK) == 0)
            fd_.reset(::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (fd_.get() >= 0) return;
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 16 && fd_.get() < 0; ++attempt) {
            name_ = "." + leaf.substr(0, 200) + ".unlha-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
            fd_.reset(::openat(dir, name_.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (fd_.get() < 0 && errno != EEXIST) break;
        }
        if (fd_.get() < 0) name_.clear();
    }
    ~Temporary() { drop(); }
    void drop() {
        fd_.reset();
        if (!name_.empty()) ::unlinkat(dir_, name_.c_str(), 0);
        name_.clear();
    }
    int fd() const { return fd_.get(); }

    // Gives the file its final name. Without replace an existing name stays and
    // EEXIST is returned; 0 on success, else an errno value.
    int place(const std::string& leaf, bool replace) {
        if (name_.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
            if (!replace) {
                return ::linkat(AT_FDCWD, self.c_str(), dir_, leaf.c_str(), AT_SYMLINK_FOLLOW) == 0
                           ? 0
                           : errno;
            }
            static std::atomic<unsigned> counter{0};
            const std::string name = "." + leaf.substr(0, 200) + ".unlha-" +
                                     std::to_string(::getpid()) + "-" +
                                     std::to_string(counter.fetch_add(1)) + "n";
            if (::linkat(AT_FDCWD, self.c_str(), dir_, name.c_str(), AT_SYMLINK_FOLLOW) != 0)
                return errno;
            name_ = name;
        }
        if (replace) {
            if (::renameat(dir_, name_.c_str(), dir_, leaf.c_str()) != 0) return errno;
            name_.clear();
            return 0;
        }
        if (::linkat(dir_, name_.c_str(), dir_, leaf.c_str(), 0) != 0) return errno;
        return 0;  // the destructor removes the temporary name
    }

private:
    int dir_;
    Fd fd_;
    std::string name_;
};

bool writeAll(int fd, const void* data, std::size_t n) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

Extractor::Step Extractor::extractFile(archive_entry* entry, const std::vector<std::string>& parts,
                                       const std::string& name) {
    std::vector<std::string> createdNow;
    Fd dir(openDirectories(parts, parts.size() - 1, createdNow, name));
    if (dir.get() < 0) return skipData() ? Step::next : Step::stop;
    const std::string& leaf = parts.back();

    struct stat existing {};
    const bool exists = ::fstatat(dir.get(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        problem(UNLHA_ERROR_WRITE, "同じ名前のフォルダーがあるため展開できません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    if (exists && !overwrite_) {
        problem(UNLHA_ERROR_SKIPPED, "既存のファイルを上書きしません: " + name);
        return skipData() ? Step::next : Step::stop;
    }

    Temporary temp(dir.get(), leaf);
    if (temp.fd() < 0) {
        problem(UNLHA_ERROR_WRITE,
                "ファイルを作れません: " + name + " (" + std::strerror(errno) + ")");
        removeCreated(createdNow);
        return skipData() ? Step::next : Step::stop;
    }

    const bool sizeKnown = archive_entry_size_is_set(entry) != 0;
    const la_int64_t declared = archive_entry_size(entry);
    auto buffer = std::make_unique<char[]>(64 * 1024);
    la_int64_t written = 0;
    for (;;) {
        const long n = reader_.readData(buffer.get(), 64 * 1024);
        if (n == 0) break;
        if (n < 0) {
            // A CRC mismatch arrives as a warning at the end of the data; the
            // decoder cannot resynchronise after a data error, so stop here.
            problem(UNLHA_ERROR_DATA,
                    "データが壊れています: " + name + " (" + reader_.error() + ")");
            temp.drop();
            removeCreated(createdNow);
            return Step::stop;
        }
        written += n;
        if (sizeKnown && written > declared) {
            problem(UNLHA_ERROR_DATA, "データが宣言された大きさを超えています: " + name);
            temp.drop();
            removeCreated(createdNow);
            return Step::stop;
        }
        if (!writeAll(temp.fd(), buffer.get(), static_cast<std::size_t>(n))) {
            problem(UNLHA_ERROR_WRITE,
                    "ファイルを書けません: " + name + " (" + std::strerror(errno) + ")");
            temp.drop();
            removeCreated(createdNow);
            return Step::stop;
        }
    }
    if (sizeKnown && written != declared) {
        problem(UNLHA_ERROR_DATA, "データが宣言された大きさに足りません: " + name);
        temp.drop();
        removeCreated(createdNow);
        return Step::stop;
    }

    ::fchmod(temp.fd(), static_cast<mode_t>(archive_entry_perm(entry)) & 0777 & ~umask_);
    const timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(entry), 0}};
    ::futimens(temp.fd(), times);
    // A replaced file was the user's own: make the new one durable before the
    // old one goes.
    if (exists && ::fsync(temp.fd()) != 0) {
        problem(UNLHA_ERROR_WRITE,
                "ファイルを書けません: " + name + " (" + std::strerror(errno) + ")");
        temp.drop();
        removeCreated(createdNow);
        return Step::next;
    }
    const int placed = temp.place(leaf, exists);
    if (placed == EEXIST) {
        problem(UNLHA_ERROR_SKIPPED, "既存のファイルを上書きしません: " + name);
    } else if (placed != 0) {
        problem(UNLHA_ERROR_WRITE,
                "ファイルを置けません: " + name + " (" + std::strerror(placed) + ")");
        temp.drop();
        removeCreated(createdNow);
    }
    return Step::next;
}

void Extractor::applyDirectoryTimes() {
    // Deepest first: a folder's time is final only once nothing more is made in
    // it, and a parent left without write or search permission would stop us.
    std::stable_sort(directoryTimes_.begin(), directoryTimes_.end(),
                     [](const DirectoryTimes& a, const DirectoryTimes& b) {
                         return a.parts.size() > b.parts.size();
                     });
    for (const DirectoryTimes& d : directoryTimes_) {
        Fd current(::dup(root_.get()));
        for (const std::string& part : d.parts) {
            if (current.get() < 0) break;
            current.reset(::openat(current.get(), part.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        if (current.get() < 0) continue;
        const timespec times[2] = {{0, UTIME_OMIT}, {d.mtime, 0}};
        ::futimens(current.get(), times);
        ::fchmod(current.get(), d.mode & 0777 & ~umask_);
    }
}

}  // namespace

Outcome extractArchive(const char* archivePath, const std::string& destination, bool overwrite) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openFile(archivePath, reason)) {
        struct stat st {};
        return failure(
            ::stat(archivePath, &st) == 0 ? UNLHA_ERROR_NOT_ARCHIVE : UNLHA_ERROR_ARCHIVE_OPEN,
            reason);
    }
    return Extractor(reader, overwrite).run(destination);
}

Outcome extractMemory(const void* data, std::size_t size, const std::string& destination,
                      bool overwrite) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openMemory(data, size, reason)) return failure(UNLHA_ERROR_NOT_ARCHIVE, reason);
    return Extractor(reader, overwrite).run(destination);
}

}  // namespace unlha32
