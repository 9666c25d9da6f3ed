#pragma once

// What a pack is asked to store: its arguments, and with -r2 everything in
// the folders they name, as inputs with the names they are stored under.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "command/outcome.h"
#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "dozo/fileio/printable.h"
#include "writing/lha/archive_writer.h"

namespace unlha32 {

using unlha::EntryInfo;

// An argument, and the length of the name it is stored under: below it, a
// file is read from the argument followed by the rest of its stored name.
// Inputs keep no path of their own, which in a deep tree would cost memory
// with the square of its depth.
struct Root {
    std::string path;
    std::size_t nameLength;
};

using FolderId = std::pair<dev_t, ino_t>;

struct Input {
    const Root* root;
    EntryInfo info;
    std::int64_t size = 0;  // of a file, as found: what progress counts
    bool done = false;      // written, or an entry of the old archive stands for it
    bool replaced = false;  // written in the place of an entry of the old archive
    FolderId folder{};      // of a file found in a folder: the folder it was found in

    // Where the file is read from.
    std::string path() const { return root->path + info.name.substr(root->nameLength); }
};

// The name a command-line or list argument is stored under: its last component.
bool storedNameOf(const std::string& path, std::string& name);

// Why a name found on disk cannot go into an archive that readers give back
// as it was (text nullptr when it can). One stored name that is not text in
// its code page makes libarchive refuse the whole archive from there on, and
// every reader takes '\' for a separator: "a\b.txt" would come back as a
// folder, or as a second entry for "a/b.txt".
struct Unstorable {
    const char* text = nullptr;
    int cause = UNLHA_CAUSE_NONE;
};
Unstorable unstorable(std::string_view name);

// Whether the open folder is still the one found at path.
Outcome sameFolder(int fd, FolderId expected, const std::string& path);

class Inputs {
public:
    explicit Inputs(const struct stat* archive) : archive_(archive) {}

    Outcome addArgument(const std::string& path, bool recurse) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            const int error = errno;
            return failure(
                UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_OPEN, path, error},
                "ファイルがありません: " + printable(path) + " (" + errorText(error) + ")");
        }
        std::string name;
        if (!storedNameOf(path, name))
            return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_NONE, path},
                           "格納する名前を決められません: " + printable(path));
        if (const Unstorable why = unstorable(name); why.text != nullptr)
            return failure(UNLHA_ERROR_INPUT, {why.cause, path}, why.text + printable(path));
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
            return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_NOT_FILE, path},
                           "通常のファイルではありません: " + printable(path));
        roots_.push_back({path, name.size()});
        if (Outcome o = add(path, name, st); o.failed()) return o;
        if (!S_ISDIR(st.st_mode) || !recurse) return {};
        std::vector<FolderId> ancestors{{st.st_dev, st.st_ino}};
        std::string treePath = path;
        return addTree(treePath, name, ancestors);
    }

    std::vector<Input>& list() { return inputs_; }
    Input* find(const std::string& name) {
        const auto it = byName_.find(std::string_view(name));
        return it == byName_.end() ? nullptr : &inputs_[*it];
    }

private:
    Outcome add(const std::string& path, const std::string& name, const struct stat& st,
                FolderId folder = {}) {
        if (archive_ != nullptr && st.st_dev == archive_->st_dev && st.st_ino == archive_->st_ino) {
            warn("書庫自身は格納しません: " + printable(path));
            return {};
        }
        if (byName_.find(std::string_view(name)) != byName_.end())
            return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_TWICE, name},
                           "同じ名前で格納されるファイルが複数あります: " + printable(name));
        Input input;
        input.root = &roots_.back();
        input.info.name = name;
        input.info.directory = S_ISDIR(st.st_mode);
        input.info.mode = st.st_mode;
        input.info.mtime = st.st_mtim.tv_sec;
        input.info.uid = st.st_uid;
        input.info.gid = st.st_gid;
        input.folder = folder;
        if (S_ISREG(st.st_mode)) input.size = st.st_size;
        inputs_.push_back(std::move(input));
        byName_.insert(inputs_.size() - 1);
        return {};
    }

    // dirPath and dirName grow by one component on the way down and are cut
    // back on the way up: one copy of the deepest path, not one per level.
    Outcome addTree(std::string& dirPath, std::string& dirName, std::vector<FolderId>& ancestors) {
        // What the folder holds, each looked at through the folder itself: a
        // folder above swapped for a link meanwhile must not lead the walk
        // elsewhere.
        std::vector<std::pair<std::string, struct stat>> found;
        {
            // Closed before going down: one open folder per level would run
            // out of descriptors in a deep tree.
            const int fd = ::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            std::unique_ptr<DIR, int (*)(DIR*)> dir(fd >= 0 ? ::fdopendir(fd) : nullptr,
                                                    ::closedir);
            if (fd >= 0 && !dir) ::close(fd);
            if (!dir) {
                const int error = errno;
                return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_FOLDER_READ, dirPath, error},
                               "フォルダーを読めません: " + printable(dirPath) + " (" +
                                   errorText(error) + ")");
            }
            if (Outcome o = sameFolder(fd, ancestors.back(), dirPath); o.failed()) return o;
            for (;;) {
                errno = 0;
                const dirent* d = ::readdir(dir.get());
                if (d == nullptr) break;
                if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
                struct stat st {};
                if (::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    warn("見つからないため格納しません: " + printable(dirPath + "/" + d->d_name));
                    continue;
                }
                // A temporary of one of our writers (a rewrite under way, or
                // one a kill left) is no file of the user's.
                if (S_ISREG(st.st_mode) && dozo::fileio::isOurTemporary(fd, d->d_name)) continue;
                found.emplace_back(d->d_name, st);
            }
            if (const int error = errno; error != 0)
                return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_FOLDER_READ, dirPath, error},
                               "フォルダーを読めません: " + printable(dirPath) + " (" +
                                   errorText(error) + ")");
        }
        // Sorted, so the same tree always gives the same archive.
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        const FolderId here = ancestors.back();
        const std::size_t pathLength = dirPath.size();
        const std::size_t nameLength = dirName.size();
        for (const auto& [n, st] : found) {
            dirPath.resize(pathLength);
            dirName.resize(nameLength);
            const std::string& path = dirPath.append("/").append(n);
            const std::string& name = dirName.append("/").append(n);
            if (const Unstorable why = unstorable(n); why.text != nullptr) {
                warn(why.text + printable(path));
                continue;
            }
            // A link met on the way is not followed: a link to a file would
            // pack the target's bytes, one to a folder the whole folder it
            // points at, from anywhere outside the tree. A link the caller
            // names itself is followed (addArgument).
            if (S_ISLNK(st.st_mode)) {
                warn("リンクはたどらず、格納しません: " + printable(path));
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                const FolderId id{st.st_dev, st.st_ino};
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
                if (Outcome o = add(path, name, st, here); o.failed()) return o;
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

// Opens a file to archive, checking it is (still) a regular file.
Outcome openInput(const Input& input, dozo::fileio::Fd& fd, struct stat& st);

}  // namespace unlha32
