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
#include <deque>
#include <memory>
#include <set>
#include <string_view>

#include "archive_reader.h"
#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "dozo/fileio/replacement.h"
#include "lha/archive_writer.h"

namespace unlha32 {
namespace {

using unlha::ArchiveWriter;
using unlha::EntryInfo;
using unlha::Method;

// An argument, and the length of the name it is stored under: below it, a
// file is read from the argument followed by the rest of its stored name.
// Inputs keep no path of their own, which in a deep tree would cost memory
// with the square of its depth.
struct Root {
    std::string path;
    std::size_t nameLength;
};

struct Input {
    const Root* root;
    EntryInfo info;
    bool done = false;  // written, or an entry of the old archive stands for it

    // Where the file is read from.
    std::string path() const { return root->path + info.name.substr(root->nameLength); }
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
                           "ファイルがありません: " + printable(path) + " (" + errorText() + ")");
        std::string name;
        if (!storedNameOf(path, name))
            return failure(UNLHA_ERROR_INPUT, "格納する名前を決められません: " + printable(path));
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
            return failure(UNLHA_ERROR_INPUT, "通常のファイルではありません: " + printable(path));
        roots_.push_back({path, name.size()});
        if (Outcome o = add(path, name, st); o.failed()) return o;
        if (!S_ISDIR(st.st_mode) || !recurse) return {};
        std::vector<std::pair<dev_t, ino_t>> ancestors{{st.st_dev, st.st_ino}};
        std::string treePath = path;
        return addTree(treePath, name, ancestors);
    }

    std::vector<Input>& list() { return inputs_; }
    Input* find(const std::string& name) {
        const auto it = byName_.find(std::string_view(name));
        return it == byName_.end() ? nullptr : &inputs_[*it];
    }

private:
    Outcome add(const std::string& path, const std::string& name, const struct stat& st) {
        if (archive_ != nullptr && st.st_dev == archive_->st_dev && st.st_ino == archive_->st_ino) {
            warn("書庫自身は格納しません: " + printable(path));
            return {};
        }
        if (byName_.find(std::string_view(name)) != byName_.end())
            return failure(UNLHA_ERROR_INPUT,
                           "同じ名前で格納されるファイルが複数あります: " + printable(name));
        Input input;
        input.root = &roots_.back();
        input.info.name = name;
        input.info.directory = S_ISDIR(st.st_mode);
        input.info.mode = st.st_mode;
        input.info.mtime = st.st_mtim.tv_sec;
        input.info.uid = st.st_uid;
        input.info.gid = st.st_gid;
        inputs_.push_back(std::move(input));
        byName_.insert(inputs_.size() - 1);
        return {};
    }

    // dirPath and dirName grow by one component on the way down and are cut
    // back on the way up: one copy of the deepest path, not one per level.
    Outcome addTree(std::string& dirPath, std::string& dirName,
                    std::vector<std::pair<dev_t, ino_t>>& ancestors) {
        std::vector<std::string> names;
        {
            // Closed before going down: one open folder per level would run
            // out of descriptors in a deep tree.
            std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(dirPath.c_str()), ::closedir);
            if (!dir)
                return failure(UNLHA_ERROR_INPUT, "フォルダーを読めません: " + printable(dirPath) +
                                                      " (" + errorText() + ")");
            errno = 0;
            while (const dirent* d = ::readdir(dir.get())) {
                if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
                    names.emplace_back(d->d_name);
            }
            if (errno != 0)
                return failure(UNLHA_ERROR_INPUT, "フォルダーを読めません: " + printable(dirPath) +
                                                      " (" + errorText() + ")");
        }
        // Sorted, so the same tree always gives the same archive.
        std::sort(names.begin(), names.end());
        const std::size_t pathLength = dirPath.size();
        const std::size_t nameLength = dirName.size();
        for (const std::string& n : names) {
            dirPath.resize(pathLength);
            dirName.resize(nameLength);
            const std::string& path = dirPath.append("/").append(n);
            const std::string& name = dirName.append("/").append(n);
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0) {
                warn("リンク先がないため格納しません: " + printable(path));
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
                if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
                    warn("フォルダーの循環リンクは格納しません: " + printable(path));
                    continue;
                }
                if (Outcome o = add(path, name, st); o.failed()) return o;
                ancestors.push_back(id);
                Outcome o = addTree(dirPath, dirName, ancestors);
                ancestors.pop_back();
                if (o.failed()) return o;
            } else if (S_ISREG(st.st_mode)) {
                if (Outcome o = add(path, name, st); o.failed()) return o;
            } else {
                warn("特殊ファイルは格納しません: " + printable(path));
            }
        }
        dirPath.resize(pathLength);
        dirName.resize(nameLength);
        return {};
    }

    // Orders input indexes by stored name, and finds one by a name.
    struct ByName {
        using is_transparent = void;
        const std::vector<Input>* inputs;
        std::string_view of(std::size_t i) const { return (*inputs)[i].info.name; }
        std::string_view of(std::string_view name) const { return name; }
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const {
            return of(a) < of(b);
        }
    };

    const struct stat* archive_;
    std::deque<Root> roots_;  // never moved: inputs point at them
    std::vector<Input> inputs_;
    std::set<std::size_t, ByName> byName_{ByName{&inputs_}};
};

Outcome writeInput(ArchiveWriter& writer, Input& input, Method method) {
    input.done = true;
    if (input.info.directory) {
        if (!writer.addDirectory(input.info))
            return failure(UNLHA_ERROR_WRITE, "書庫を書けません: " + writer.error());
        return {};
    }
    const std::string path = input.path();
    const dozo::fileio::Fd fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return failure(UNLHA_ERROR_INPUT,
                       "ファイルを読めません: " + printable(path) + " (" + errorText() + ")");
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return failure(UNLHA_ERROR_INPUT, "通常のファイルではありません: " + printable(path));
    if (!writer.addFile(input.info, fd.get(), st.st_size, method))
        return failure(UNLHA_ERROR_WRITE,
                       "書庫を書けません: " + printable(path) + ": " + writer.error());
    return {};
}

// Holds one decoded entry of the old archive while it is encoded again: a
// temporary beside the archive that is never placed.
class Scratch {
public:
    explicit Scratch(const std::string& archivePath) {
        const auto slash = archivePath.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : archivePath.substr(0, slash + 1);
        const std::string leaf = archivePath.substr(slash == std::string::npos ? 0 : slash + 1);
        const dozo::fileio::Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        dozo::fileio::PlacementOptions options;
        options.tag = dozo::fileio::kTagUnlha;
        options.sweep = false;  // the archive's own replacement sweeps this folder
        error_ = dirFd.get() < 0 ? errno : file_.create(dirFd.get(), leaf, options);
    }
    int fd() const { return file_.fd(); }
    int error() const { return error_; }
    bool reset() { return ::ftruncate(fd(), 0) == 0 && ::lseek(fd(), 0, SEEK_SET) == 0; }

private:
    dozo::fileio::Placement file_;
    int error_ = 0;
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
    if (scratch.fd() < 0)
        return failure(UNLHA_ERROR_WRITE,
                       "作業ファイルを作れません (" + errorText(scratch.error()) + ")");
    if (!scratch.reset())
        return failure(UNLHA_ERROR_WRITE, "作業ファイルを作れません (" + errorText() + ")");
    auto buffer = std::make_unique<char[]>(64 * 1024);
    std::int64_t size = 0;
    for (;;) {
        const long n = reader.readData(buffer.get(), 64 * 1024);
        if (n == 0) break;
        if (n < 0)
            return failure(UNLHA_ERROR_DATA, "既存の書庫が壊れています: " + printable(info.name) +
                                                 " (" + reader.error() + ")");
        if (!dozo::fileio::writeAll(scratch.fd(), buffer.get(), static_cast<std::size_t>(n)))
            return failure(UNLHA_ERROR_WRITE, "作業ファイルを書けません (" + errorText() + ")");
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
                           "既存の書庫を最後まで読めません (" + reader.error() + ")");
        const mode_t type = archive_entry_filetype(entry);
        if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_symlink(entry) != nullptr ||
            archive_entry_hardlink(entry) != nullptr)
            return failure(
                UNLHA_ERROR_NOT_ARCHIVE,
                std::string(
                    "既存の書庫にファイルとフォルダー以外の項目があるため更新できません: ") +
                    printable(rawName));

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
    return failure(UNLHA_ERROR_WRITE, "書庫を書けません: " + printable(archivePath) + " (" +
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
                       "書庫の場所にファイル以外のものがあります: " + printable(archivePath));

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
