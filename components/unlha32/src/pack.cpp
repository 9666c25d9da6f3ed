#include "pack.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "archive_reader.h"
#include "dozo/fileio/replacement.h"
#include "lha/archive_writer.h"

namespace unlha32 {
namespace {

using unlha::ArchiveWriter;
using unlha::EntryInfo;
using unlha::Method;

struct Input {
    std::string path;  // where the file is read from
    EntryInfo info;
    bool done = false;  // written, or an entry of the old archive stands for it
};

std::string errorText(int error = errno) {
    return std::strerror(error);
}

unlha::Method toMethod(Compression method) {
    switch (method) {
        case Compression::lh6:
            return Method::lh6;
        case Compression::lh7:
            return Method::lh7;
        case Compression::lh5:
            break;
    }
    return Method::lh5;
}

// The name a command-line or list argument is stored under: its last component.
bool storedNameOf(const std::string& path, std::string& name) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    name = trimmed.substr(trimmed.find_last_of('/') + 1);
    if (name.empty() || name == "." || name == "..") {
        // "." and ".." stand for a folder that has a name of its own.
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) return false;
        const std::string resolved = real;
        ::free(real);
        name = resolved.substr(resolved.find_last_of('/') + 1);
    }
    return !name.empty();
}

class Inputs {
public:
    explicit Inputs(const struct stat* archive) : archive_(archive) {}

    Outcome addArgument(const std::string& path, bool recurse) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return failure(UNLHA_ERROR_INPUT,
                           "ファイルがありません: " + path + " (" + errorText() + ")");
        std::string name;
        if (!storedNameOf(path, name))
            return failure(UNLHA_ERROR_INPUT, "格納する名前を決められません: " + path);
        if (S_ISDIR(st.st_mode)) {
            if (Outcome o = add(path, name, st); o.failed()) return o;
            if (!recurse) return {};
            std::vector<std::pair<dev_t, ino_t>> ancestors{{st.st_dev, st.st_ino}};
            return addTree(path, name, ancestors);
        }
        if (!S_ISREG(st.st_mode))
            return failure(UNLHA_ERROR_INPUT, "通常のファイルではありません: " + path);
        return add(path, name, st);
    }

    std::vector<Input>& list() { return inputs_; }
    Input* find(const std::string& name) {
        const auto it = byName_.find(name);
        return it == byName_.end() ? nullptr : &inputs_[it->second];
    }

private:
    Outcome add(const std::string& path, const std::string& name, const struct stat& st) {
        if (archive_ != nullptr && st.st_dev == archive_->st_dev && st.st_ino == archive_->st_ino) {
            warn("書庫自身は格納しません: " + path);
            return {};
        }
        if (byName_.count(name) != 0)
            return failure(UNLHA_ERROR_INPUT,
                           "同じ名前で格納されるファイルが複数あります: " + name);
        Input input;
        input.path = path;
        input.info.name = name;
        input.info.directory = S_ISDIR(st.st_mode);
        input.info.mode = st.st_mode;
        input.info.mtime = st.st_mtim.tv_sec;
        input.info.uid = st.st_uid;
        input.info.gid = st.st_gid;
        byName_.emplace(name, inputs_.size());
        inputs_.push_back(std::move(input));
        return {};
    }

    Outcome addTree(const std::string& dirPath, const std::string& dirName,
                    std::vector<std::pair<dev_t, ino_t>>& ancestors) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(dirPath.c_str()), ::closedir);
        if (!dir)
            return failure(UNLHA_ERROR_INPUT,
                           "フォルダーを読めません: " + dirPath + " (" + errorText() + ")");
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* d = ::readdir(dir.get())) {
            if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
                names.emplace_back(d->d_name);
        }
        if (errno != 0)
            return failure(UNLHA_ERROR_INPUT,
                           "フォルダーを読めません: " + dirPath + " (" + errorText() + ")");
        // Sorted, so the same tree always gives the same archive.
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            const std::string path = dirPath + "/" + n;
            const std::string name = dirName + "/" + n;
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0) {
                warn("リンク先がないため格納しません: " + path);
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
                if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
                    warn("フォルダーの循環リンクは格納しません: " + path);
                    continue;
                }
                if (Outcome o = add(path, name, st); o.failed()) return o;
                ancestors.push_back(id);
                Outcome o = addTree(path, name, ancestors);
                ancestors.pop_back();
                if (o.failed()) return o;
            } else if (S_ISREG(st.st_mode)) {
                if (Outcome o = add(path, name, st); o.failed()) return o;
            } else {
                warn("特殊ファイルは格納しません: " + path);
            }
        }
        return {};
    }

    const struct stat* archive_;
    std::vector<Input> inputs_;
    std::map<std::string, std::size_t> byName_;
};

Outcome writeInput(ArchiveWriter& writer, Input& input, Method method) {
    input.done = true;
    if (input.info.directory) {
        if (!writer.addDirectory(input.info))
            return failure(UNLHA_ERROR_WRITE, "書庫を書けません: " + writer.error());
        return {};
    }
    const int fd = ::open(input.path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failure(UNLHA_ERROR_INPUT,
                       "ファイルを読めません: " + input.path + " (" + errorText() + ")");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failure(UNLHA_ERROR_INPUT, "通常のファイルではありません: " + input.path);
    }
    const bool ok = writer.addFile(input.info, fd, st.st_size, method);
    ::close(fd);
    if (!ok)
        return failure(UNLHA_ERROR_WRITE,
                       "書庫を書けません: " + input.path + ": " + writer.error());
    return {};
}

// Holds one decoded entry of the old archive while it is encoded again.
class Scratch {
public:
    explicit Scratch(const std::string& nearPath) {
        const auto slash = nearPath.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : nearPath.substr(0, slash + 1);
        fd_ = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            if (FILE* f = std::tmpfile()) {
                fd_ = ::dup(::fileno(f));
                std::fclose(f);
            }
        }
    }
    ~Scratch() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }
    bool reset() { return ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0; }

private:
    int fd_ = -1;
};

Method methodOf(const std::string& name, Method fallback) {
    if (name == "lh0") return Method::lh0;
    if (name == "lh5") return Method::lh5;
    if (name == "lh6") return Method::lh6;
    if (name == "lh7") return Method::lh7;
    return fallback;
}

Outcome keepEntry(ArchiveReader& reader, const EntryInfo& info, ArchiveWriter& writer,
                  Scratch& scratch, Method fallback) {
    const std::string method = reader.method();
    if (info.directory) {
        if (!writer.addDirectory(info))
            return failure(UNLHA_ERROR_WRITE, "書庫を書けません: " + writer.error());
        return {};
    }
    if (scratch.fd() < 0 || !scratch.reset())
        return failure(UNLHA_ERROR_WRITE, "作業ファイルを作れません (" + errorText() + ")");
    auto buffer = std::make_unique<char[]>(64 * 1024);
    std::int64_t size = 0;
    for (;;) {
        const long n = reader.readData(buffer.get(), 64 * 1024);
        if (n == 0) break;
        if (n < 0)
            return failure(UNLHA_ERROR_DATA,
                           "既存の書庫が壊れています: " + info.name + " (" + reader.error() + ")");
        for (la_ssize_t off = 0; off < n;) {
            const ssize_t put = ::write(scratch.fd(), buffer.get() + off, n - off);
            if (put <= 0 && errno == EINTR) continue;
            if (put <= 0)
                return failure(UNLHA_ERROR_WRITE, "作業ファイルを書けません (" + errorText() + ")");
            off += put;
        }
        size += n;
    }
    if (::lseek(scratch.fd(), 0, SEEK_SET) != 0)
        return failure(UNLHA_ERROR_WRITE, "作業ファイルを読めません (" + errorText() + ")");
    if (!writer.addFile(info, scratch.fd(), size, methodOf(method, fallback)))
        return failure(UNLHA_ERROR_WRITE, "書庫を書けません: " + writer.error());
    return {};
}

// Walks the old archive in order: each entry is kept, or replaced in its place
// by a newer input of the same name.
Outcome rewriteExisting(const std::string& archivePath, Inputs& inputs, ArchiveWriter& writer,
                        Method method) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openFile(archivePath.c_str(), reason))
        return failure(UNLHA_ERROR_NOT_ARCHIVE, "既存の書庫を更新できません: " + reason);
    Scratch scratch(archivePath);
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = reader.next(entry);
        if (r == ARCHIVE_EOF) return {};
        const char* rawName = r == ARCHIVE_OK ? archive_entry_pathname_utf8(entry) : nullptr;
        if (rawName == nullptr)
            return failure(UNLHA_ERROR_NOT_ARCHIVE,
                           "既存の書庫が壊れています (" + reader.error() + ")");
        const mode_t type = archive_entry_filetype(entry);
        if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_symlink(entry) != nullptr ||
            archive_entry_hardlink(entry) != nullptr)
            return failure(
                UNLHA_ERROR_NOT_ARCHIVE,
                std::string(
                    "既存の書庫にファイルとフォルダー以外の項目があるため更新できません: ") +
                    rawName);

        EntryInfo info;
        info.name = rawName;
        while (!info.name.empty() && info.name.back() == '/') info.name.pop_back();
        info.directory = type == AE_IFDIR;
        info.mode = archive_entry_mode(entry);
        info.mtime = archive_entry_mtime(entry);
        info.uid = static_cast<std::uint32_t>(archive_entry_uid(entry));
        info.gid = static_cast<std::uint32_t>(archive_entry_gid(entry));

        Input* input = inputs.find(info.name);
        if (input != nullptr && !input->done && input->info.mtime > info.mtime) {
            if (reader.skipData() != ARCHIVE_OK)
                return failure(UNLHA_ERROR_DATA,
                               "既存の書庫が壊れています (" + reader.error() + ")");
            if (Outcome o = writeInput(writer, *input, method); o.failed()) return o;
            continue;
        }
        if (input != nullptr) input->done = true;
        if (Outcome o = keepEntry(reader, info, writer, scratch, method); o.failed()) return o;
    }
}

Outcome replacementFailure(dozo::fileio::Status status, const std::string& archivePath) {
    return failure(UNLHA_ERROR_WRITE, "書庫を書けません: " + archivePath + " (" +
                                          dozo::fileio::describe(status) + ")");
}

}  // namespace

Outcome packArchive(const std::string& archivePath, const std::vector<std::string>& arguments,
                    bool recurse, Compression compression) {
    const Method method = toMethod(compression);
    struct stat archiveStat {};
    const bool archiveExists = ::stat(archivePath.c_str(), &archiveStat) == 0;
    if (archiveExists && !S_ISREG(archiveStat.st_mode))
        return failure(UNLHA_ERROR_WRITE,
                       "書庫の場所にファイル以外のものがあります: " + archivePath);

    Inputs inputs(archiveExists ? &archiveStat : nullptr);
    for (const std::string& argument : arguments) {
        if (Outcome o = inputs.addArgument(argument, recurse); o.failed()) return o;
    }
    if (inputs.list().empty()) return failure(UNLHA_ERROR_INPUT, "格納するファイルがありません");

    dozo::fileio::Replacement result;
    if (auto status = result.open(archivePath.c_str()); status != dozo::fileio::Status::ok)
        return replacementFailure(status, archivePath);
    ArchiveWriter writer(result.fd());
    // An empty file holds no entries to keep; it is simply replaced.
    if (archiveExists && archiveStat.st_size > 0) {
        if (Outcome o = rewriteExisting(archivePath, inputs, writer, method); o.failed()) return o;
    }
    for (Input& input : inputs.list()) {
        if (input.done) continue;
        if (Outcome o = writeInput(writer, input, method); o.failed()) return o;
    }
    if (!writer.finish()) return failure(UNLHA_ERROR_WRITE, "書庫を書けません: " + writer.error());
    if (auto status = result.commit(); status != dozo::fileio::Status::ok)
        return replacementFailure(status, archivePath);
    return {};
}

}  // namespace unlha32
