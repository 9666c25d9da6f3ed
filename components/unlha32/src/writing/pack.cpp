#include "writing/pack.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string_view>

#include "command/progress.h"
#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "dozo/fileio/printable.h"
#include "dozo/fileio/replacement.h"
#include "dozo/fileio/source.h"
#include "extracting/entry_name.h"
#include "reading/archive_reader.h"
#include "reading/stored_header.h"
#include "writing/lha/archive_writer.h"

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

// Why a name found on disk cannot go into an archive that readers give back
// as it was (text nullptr when it can). One stored name that is not text in
// its code page makes libarchive refuse the whole archive from there on, and
// every reader takes '\' for a separator: "a\b.txt" would come back as a
// folder, or as a second entry for "a/b.txt".
struct Unstorable {
    const char* text = nullptr;
    int cause = UNLHA_CAUSE_NONE;
};
Unstorable unstorable(std::string_view name) {
    if (!dozo::fileio::isUtf8(name))
        return {"UTF-8でない名前は格納しません: ", UNLHA_CAUSE_NAME_NOT_UTF8};
    if (name.find('\\') != std::string_view::npos)
        return {"「\\」を含む名前は格納しません: ", UNLHA_CAUSE_NAME_BACKSLASH};
    return {};
}

// Whether the open folder is still the one found at path.
Outcome sameFolder(int fd, FolderId expected, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || FolderId{st.st_dev, st.st_ino} != expected)
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_FOLDER_REPLACED, path},
                       "格納中にフォルダーが置き換えられました: " + printable(path));
    return {};
}

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
Outcome openInput(const Input& input, dozo::fileio::Fd& fd, struct stat& st) {
    const std::string path = input.path();
    // A file found in a folder is read only if it is still no link, and
    // only from the folder it was found in: a folder on its path swapped
    // for a link since would have it read from elsewhere.
    const bool walked = input.info.name.size() > input.root->nameLength;
    if (walked) {
        const std::string folderPath = path.substr(0, path.find_last_of('/'));
        const dozo::fileio::Fd folder(
            ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() < 0) {
            const int error = errno;
            return failure(
                UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_OPEN, path, error},
                "ファイルを読めません: " + printable(path) + " (" + errorText(error) + ")");
        }
        if (Outcome o = sameFolder(folder.get(), input.folder, folderPath); o.failed()) return o;
        fd.reset(::openat(folder.get(), path.c_str() + folderPath.size() + 1,
                          O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW));
    } else {
        fd.reset(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    }
    if (fd.get() < 0) {
        const int error = errno;
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_OPEN, path, error},
                       "ファイルを読めません: " + printable(path) + " (" + errorText(error) + ")");
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_NOT_FILE, path},
                       "通常のファイルではありません: " + printable(path));
    return {};
}

Outcome cancelled(const Progress& progress) {
    return failure(UNLHA_CANCELLED, {UNLHA_CAUSE_CANCELLED},
                   "中止しました (" + std::to_string(progress.entriesDone()) +
                       "個の項目の後で): 書庫は元のままです");
}

// The writer failed on the archive, on the input or on its name; or it was
// stopped inside the file as asked.
Outcome writeFailure(const Input& input, const ArchiveWriter& writer, const Progress& progress) {
    if (progress.stopRequested()) return cancelled(progress);
    using Failed = ArchiveWriter::Failed;
    const int error = writer.systemError();
    // Compressed data that does not decode back is our fault, not the
    // disk's: nothing of the run is committed.
    if (writer.failed() == Failed::miscoded)
        return failure(UNLHA_ERROR_INTERNAL, {UNLHA_CAUSE_MISCODED, input.path()},
                       "UNLHA32の誤りです: 圧縮したデータを展開すると元のファイルに戻らないため、"
                       "書庫には何も書き込んでいません: " +
                           printable(input.path()) + " (" + writer.error() + ")");
    if (writer.failed() == Failed::input)
        return failure(
            UNLHA_ERROR_INPUT,
            {error != 0 ? UNLHA_CAUSE_INPUT_READ : UNLHA_CAUSE_INPUT_CHANGED, input.path(), error},
            "ファイルを読めません: " + printable(input.path()) + ": " + writer.error());
    if (writer.failed() == Failed::name)
        return failure(
            UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_NONE, input.path()},
            "格納する名前を決められません: " + printable(input.path()) + ": " + writer.error());
    return failure(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_WRITE, {}, error},
                   "書庫を書けません: " + printable(input.path()) + ": " + writer.error());
}

// What went wrong writing the archive itself.
Outcome archiveFailure(const ArchiveWriter& writer) {
    return failure(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_WRITE, {}, writer.systemError()},
                   "書庫を書けません: " + writer.error());
}

// A file written to while it was read gives an entry of bytes from both
// versions, or only the first bytes of a file that grew; read in pieces, its
// data may not even decode to what its CRC was taken of.
Outcome readUnchanged(const Input& input, int fd, const struct stat& opened) {
    struct stat now {};
    if (::fstat(fd, &now) != 0 || now.st_size != opened.st_size ||
        now.st_mtim.tv_sec != opened.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec ||
        now.st_ctim.tv_sec != opened.st_ctim.tv_sec ||
        now.st_ctim.tv_nsec != opened.st_ctim.tv_nsec)
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_CHANGED, input.path()},
                       "格納中にファイルが変更されました: " + printable(input.path()));
    return {};
}

Outcome writeInput(ArchiveWriter& writer, Input& input, Method method, const Progress& progress) {
    input.done = true;
    if (input.info.directory) {
        if (!writer.addDirectory(input.info)) return writeFailure(input, writer, progress);
        return {};
    }
    dozo::fileio::Fd fd;
    struct stat st {};
    if (Outcome o = openInput(input, fd, st); o.failed()) return o;
    if (!writer.addFile(input.info, fd.get(), st.st_size, method))
        return writeFailure(input, writer, progress);
    return readUnchanged(input, fd.get(), st);
}

// Writes an input unless the caller asked to stop before it.
Outcome writeCounted(ArchiveWriter& writer, Input& input, Method method, Progress& progress) {
    if (progress.stopRequested()) return cancelled(progress);
    if (Outcome o = writeInput(writer, input, method, progress); o.failed()) return o;
    progress.entryDone(input.size);
    return {};
}

// New inputs are added a run at a time, so that the writer can compress
// small files on several cores; the archive is the same as one by one.
class Batch {
public:
    Batch(ArchiveWriter& writer, Method method, Progress& progress)
        : writer_(writer), method_(method), progress_(progress) {}

    // Adds an input unless the caller asked to stop before it.
    Outcome add(Input& input) {
        if (progress_.stopRequested()) return cancelled(progress_);
        if (input.info.directory) {
            if (Outcome o = flush(); o.failed()) return o;
            return writeCounted(writer_, input, method_, progress_);
        }
        input.done = true;
        dozo::fileio::Fd fd;
        struct stat st {};
        if (Outcome o = openInput(input, fd, st); o.failed()) return o;
        files_.push_back({input.info, fd.get(), st.st_size});
        inputs_.push_back(&input);
        fds_.push_back(std::move(fd));
        opened_.push_back(st);
        bytes_ += st.st_size;
        return files_.size() == kFiles || bytes_ >= kBytes ? flush() : Outcome{};
    }

    Outcome flush() {
        std::size_t failed = 0;
        const bool ok = writer_.addFiles(files_, method_, &failed);
        Outcome o = ok ? Outcome{} : writeFailure(*inputs_[failed], writer_, progress_);
        for (std::size_t i = 0; ok && !o.failed() && i < inputs_.size(); ++i)
            o = readUnchanged(*inputs_[i], fds_[i].get(), opened_[i]);
        // A stop asked for after one file of the run is honoured there: the
        // rest were compressed in vain, but nothing of the run is committed.
        for (std::size_t i = 0; !o.failed() && i < inputs_.size(); ++i) {
            progress_.entryDone(inputs_[i]->size);
            if (i + 1 < inputs_.size() && progress_.stopRequested()) {
                o = cancelled(progress_);
                break;
            }
        }
        files_.clear();
        inputs_.clear();
        fds_.clear();
        opened_.clear();
        bytes_ = 0;
        return o;
    }

private:
    // Few enough open files and buffered bytes for any process.
    static constexpr std::size_t kFiles = 128;
    static constexpr std::int64_t kBytes = 8 << 20;

    ArchiveWriter& writer_;
    Method method_;
    Progress& progress_;
    std::vector<ArchiveWriter::FileInput> files_;
    std::vector<Input*> inputs_;
    std::vector<dozo::fileio::Fd> fds_;
    std::vector<struct stat> opened_;  // each file as it was opened
    std::int64_t bytes_ = 0;
};

// Copies a kept entry (its header and packed data, unchanged) from the old
// archive. Short reads are truncation: the entry must be whole. The buffer
// is the caller's, kept from one entry to the next: an archive of many small
// entries must not pay for a fresh megabyte each.
Outcome copyEntry(int archiveFd, std::int64_t from, std::int64_t length, ArchiveWriter& writer,
                  const std::string& name, std::vector<std::uint8_t>& buffer) {
    constexpr std::int64_t kCopyChunk = 1 << 20;
    if (static_cast<std::int64_t>(buffer.size()) < std::min(kCopyChunk, length))
        buffer.resize(static_cast<std::size_t>(std::min(kCopyChunk, length)));
    for (std::int64_t done = 0; done < length;) {
        const std::size_t want = static_cast<std::size_t>(std::min(kCopyChunk, length - done));
        const off_t at = static_cast<off_t>(from + done);
        const ssize_t n = dozo::fileio::readFully(archiveFd, buffer.data(), want, at);
        if (n < 0) {
            const int error = errno;
            return failure(
                UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_READ, {}, error},
                "既存の書庫を読めません: " + printable(name) + " (" + errorText(error) + ")");
        }
        if (static_cast<std::size_t>(n) < want)
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_CUT, name},
                           "既存の書庫が途中で切れています: " + printable(name));
        // The old archive goes once the new one is in place, and each of its
        // bytes is read once: its cached pages are given back before the
        // copy of them is written, so the copy reuses them instead of taking
        // as much memory again (and, in a virtual machine, pages the host
        // has to find).
        ::posix_fadvise(archiveFd, at, static_cast<off_t>(want), POSIX_FADV_DONTNEED);
        if (!writer.addRaw({buffer.data(), want})) return archiveFailure(writer);
        done += n;
    }
    return {};
}

// A file and a folder of one path cannot both come out of an archive: an
// input whose path the archive holds as the other kind (a folder entry, or
// entries under that path) would be dropped when the entry is the newer, or
// would leave those entries with no folder to go in.
Outcome kindConflict(Inputs& inputs, const std::string& path, bool folder, const Input* input) {
    if (input != nullptr && input->info.directory != folder)
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_KIND, path},
                       std::string("書庫に同じ名前の") + (folder ? "フォルダー" : "ファイル") +
                           "があるため格納できません: " + printable(path));
    for (auto slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string above = path.substr(0, slash);
        if (const Input* file = inputs.find(above); file != nullptr && !file->info.directory)
            return failure(
                UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_KIND, above},
                "書庫に同じ名前のフォルダーがあるため格納できません: " + printable(above));
    }
    return {};
}

// Walks the old archive in order: each entry is copied as it is, or replaced
// in its place by a newer input of the same name. Headers come through the
// checked reader, and each entry must end where the next one (or the end
// mark) starts, so nothing unread is ever carried over or dropped.
// endAt: where what follows the old archive's end mark starts.
Outcome rewriteExisting(const std::string& archivePath, Inputs& inputs, ArchiveWriter& writer,
                        Method method, Progress& progress, std::int64_t& endAt) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openFile(archivePath.c_str(), reason))
        return failure(
            UNLHA_ERROR_NOT_ARCHIVE,
            {reader.openResult() == ArchiveReader::OpenResult::cannotOpen ? UNLHA_CAUSE_ARCHIVE_OPEN
                                                                          : UNLHA_CAUSE_NOT_ARCHIVE,
             {},
             reader.openError()},
            "既存の書庫を更新できません: " + reason);
    struct stat opened {};
    if (::fstat(reader.fd(), &opened) != 0) {
        const int error = errno;
        return failure(
            UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_READ, {}, error},
            "既存の書庫を読めません: " + printable(archivePath) + " (" + errorText(error) + ")");
    }
    std::int64_t entryEnd = -1;  // where the last entry read ends
    std::vector<std::uint8_t> copyBuffer;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = reader.next(entry);
        if (r == ARCHIVE_EOF) {
            std::uint8_t mark = 1;
            if (entryEnd < 0) return {};
            if (!dozo::fileio::readExact(reader.fd(), &mark, 1, entryEnd) || mark != 0)
                return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                               "既存の書庫に終わりの印がありません (" + reader.error() + ")");
            endAt = entryEnd + 1;
            return {};
        }
        // A name that did not decode comes only as stored (not UTF-8): the
        // entry is still copied as it is.
        const char* rawName = r == ARCHIVE_OK ? archive_entry_pathname_utf8(entry) : nullptr;
        if (r == ARCHIVE_OK && rawName == nullptr) rawName = archive_entry_pathname(entry);
        if (rawName == nullptr)
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "既存の書庫を最後まで読めません (" + reader.error() + ")");
        const mode_t type = archive_entry_filetype(entry);
        if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_symlink(entry) != nullptr ||
            archive_entry_hardlink(entry) != nullptr)
            return failure(
                UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ENTRY_SPECIAL, rawName},
                std::string(
                    "既存の書庫にファイルとフォルダー以外の項目があるため更新できません: ") +
                    printable(rawName));
        // A kept entry is copied as it is, so it is vetted as a reader takes
        // it: a name extraction refuses, a header that fails its own check
        // or data that runs past the archive would be carried into the new
        // one. Its data is not decoded: "t" does that.
        PlacedName placed;
        std::string unsafe;
        if (!placeEntryName(rawName, type == AE_IFDIR, placed, unsafe))
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ENTRY_NOT_KEPT, rawName},
                           "既存の書庫の項目を引き継げないため更新しません (" + unsafe +
                               "): " + printable(rawName));
        StoredFields fields;
        if (!readStoredFields(reader.fd(), reader.headerOffset(), fields) ||
            (entryEnd >= 0 && fields.headerAt != entryEnd))
            return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "既存の書庫のヘッダーを読めません: " + printable(rawName));
        if (fields.dataAt > opened.st_size ||
            fields.packedSize > static_cast<std::uint64_t>(opened.st_size - fields.dataAt))
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_NOT_KEPT, rawName},
                           "既存の書庫の項目が書庫の終わりを越えています: " + printable(rawName));
        const bool first = entryEnd < 0;
        const std::int64_t entryStart = fields.headerAt;
        entryEnd = fields.dataAt + static_cast<std::int64_t>(fields.packedSize);
        if (reader.skipData() != ARCHIVE_OK)
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                           "既存の書庫が壊れています (" + reader.error() + ")");
        // A self-extracting archive's program, which readers pass over to
        // the first header, stays in front of the entries.
        if (first && entryStart > 0) {
            if (Outcome o = copyEntry(reader.fd(), 0, entryStart, writer, rawName, copyBuffer);
                o.failed())
                return o;
        }

        std::string name = rawName;
        while (!name.empty() && name.back() == '/') name.pop_back();
        // An archive from elsewhere may spell the path another way ("sub\f.txt"):
        // the input it stands for is the one of the path it extracts under, or
        // the new entry would be added beside it and the stale one, first in
        // the archive, would be what extraction gives.
        std::string path;
        if (!extractedName(rawName, path)) path = name;
        Input* input = inputs.find(name);
        if (input == nullptr && path != name) input = inputs.find(path);
        if (Outcome o = kindConflict(inputs, path, type == AE_IFDIR, input); o.failed()) return o;
        const bool newer = input != nullptr && input->info.mtime > static_cast<std::int64_t>(
                                                                       archive_entry_mtime(entry));
        if (newer && !input->done) {
            if (Outcome o = writeCounted(writer, *input, method, progress); o.failed()) return o;
            input->replaced = true;
            continue;
        }
        // A later entry of a name held twice is what readers give: one older
        // than the input that took the first's place would hide it.
        if (newer && input->replaced) continue;
        if (Outcome o =
                copyEntry(reader.fd(), entryStart, entryEnd - entryStart, writer, name, copyBuffer);
            o.failed())
            return o;
        if (input != nullptr && !input->done) {
            input->done = true;
            progress.entryDone(input->size);
            // Counted as packed, yet its bytes are not in the archive.
            if (!input->info.directory &&
                input->info.mtime < static_cast<std::int64_t>(archive_entry_mtime(entry)))
                warn("書庫の項目の方が新しいため格納しません: " + printable(input->path()));
        }
    }
}

// Serializes updates of one archive across processes. The lock is on the
// archive file itself, which a finished update replaces by rename: a run that
// waited on the old file sees that the path now names another and locks that
// one instead, so it reads what the previous run wrote. A missing archive is
// claimed by locking its folder until it exists.
//
// Another archiver takes no lock of ours: the archive held is also the one
// the result may replace only while it is still the file read, or what that
// program added meanwhile would be lost under our rename.
class ArchiveLock {
public:
    Outcome acquire(const std::string& archivePath) {
        const auto slash = archivePath.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : archivePath.substr(0, slash + 1);
        for (;;) {
            if (archive_.open(archivePath.c_str()) == dozo::fileio::Status::ok) {
                held_ = true;
                return {};
            }
            const int openError = errno;
            // An archive that is there but would not open (EIO, EMFILE...)
            // cannot be updated without the lock and the handle that keep
            // what follows its end mark: the run fails. Anything but a file
            // there is refused by the caller, with its own reason.
            struct stat st {};
            if (::stat(archivePath.c_str(), &st) == 0) {
                if (!S_ISREG(st.st_mode)) return {};
                return failure(UNLHA_ERROR_ARCHIVE_OPEN, {UNLHA_CAUSE_ARCHIVE_OPEN, {}, openError},
                               "既存の書庫を開けません: " + printable(archivePath) + " (" +
                                   errorText(openError) + ")");
            }
            if (const int error = errno; error != ENOENT)
                return failure(UNLHA_ERROR_ARCHIVE_OPEN, {UNLHA_CAUSE_ARCHIVE_OPEN, {}, error},
                               "書庫の場所を調べられません: " + printable(archivePath) + " (" +
                                   errorText(error) + ")");
            // Missing: its folder is locked until it exists. Without that lock
            // the run goes on, creating the archive only where nothing has
            // appeared meanwhile (the caller's no-clobber placement).
            folder_.reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (folder_.get() < 0 || !lock(folder_.get())) return {};
            if (::stat(archivePath.c_str(), &st) != 0 && errno == ENOENT) return {};
            folder_.reset(-1);
        }
    }

    // The archive as it was locked, for the result's commit; nullptr when
    // there was none to lock.
    dozo::fileio::Source* archive() { return held_ ? &archive_ : nullptr; }

private:
    static bool lock(int fd) {
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }

    dozo::fileio::Source archive_;
    bool held_ = false;
    dozo::fileio::Fd folder_;
};

// Bytes after the end mark belong to no entry and no reader shows them, but
// they are the user's (a second archive put after the first, say): they
// follow the new end mark as they followed the old one.
Outcome keepTrailing(dozo::fileio::Source* archive, std::int64_t from,
                     dozo::fileio::Replacement& result, const std::string& archivePath) {
    if (archive == nullptr || from <= 0) return {};
    constexpr std::int64_t kChunk = 1 << 20;
    std::vector<std::uint8_t> buffer;
    for (std::int64_t at = from; at < archive->size();) {
        const auto n = static_cast<std::size_t>(std::min(kChunk, archive->size() - at));
        buffer.resize(n);
        if (archive->readAt(at, buffer.data(), n) != dozo::fileio::Status::ok) {
            const int error = errno;
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_READ, {}, error},
                           "既存の書庫を読めません: " + printable(archivePath));
        }
        if (result.write(buffer.data(), n) != dozo::fileio::Status::ok) {
            const int error = errno;
            return failure(
                UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_WRITE, {}, error},
                "書庫を書けません: " + printable(archivePath) + " (" + errorText(error) + ")");
        }
        at += static_cast<std::int64_t>(n);
    }
    return {};
}

// wasMissing: the archive did not exist when the update began.
Outcome replacementFailure(dozo::fileio::Status status, const std::string& archivePath,
                           bool wasMissing = false) {
    struct stat st {};
    const bool another = status == dozo::fileio::Status::sourceChanged ||
                         (status == dozo::fileio::Status::replace && wasMissing &&
                          ::lstat(archivePath.c_str(), &st) == 0);
    const std::string why =
        another ? "処理中に他のプログラムが書庫を書き換えました" : dozo::fileio::describe(status);
    const int cause = another                                 ? UNLHA_CAUSE_ARCHIVE_CHANGED
                      : status == dozo::fileio::Status::write ? UNLHA_CAUSE_ARCHIVE_WRITE
                                                              : UNLHA_CAUSE_ARCHIVE_REPLACE;
    return failure(UNLHA_ERROR_WRITE, {cause},
                   "書庫を書けません: " + printable(archivePath) + " (" + why + ")");
}

}  // namespace

Outcome packArchive(const std::string& archivePath, const std::vector<std::string>& arguments,
                    bool recurse, Compression compression, Level level) {
    const Method method = toMethod(compression);
    // Held until the result is in place (or dropped).
    ArchiveLock lock;
    if (Outcome o = lock.acquire(archivePath); o.failed()) return o;
    struct stat archiveStat {};
    const bool archiveExists = ::stat(archivePath.c_str(), &archiveStat) == 0;
    if (archiveExists && !S_ISREG(archiveStat.st_mode))
        return failure(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_NOT_FILE},
                       "書庫の場所にファイル以外のものがあります: " + printable(archivePath));

    Inputs inputs(archiveExists ? &archiveStat : nullptr);
    for (const std::string& argument : arguments) {
        if (Outcome o = inputs.addArgument(argument, recurse); o.failed()) return o;
    }
    if (inputs.list().empty())
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NOTHING_TO_PACK},
                       "格納するファイルがありません");

    dozo::fileio::Replacement result;
    // A missing archive that another archiver creates meanwhile is its,
    // not ours to replace.
    if (auto status = result.open(archivePath.c_str(), !archiveExists);
        status != dozo::fileio::Status::ok)
        return replacementFailure(status, archivePath);
    ArchiveWriter writer(result.fd());
    writer.setLevel(level == Level::max ? unlha::Level::max : unlha::Level::normal);
    std::int64_t bytes = 0;
    for (const Input& input : inputs.list()) bytes += input.size;
    Progress progress(static_cast<std::int64_t>(inputs.list().size()), bytes);
    progress.start();
    // A stop asked for inside a large file ends it there: nothing is committed.
    writer.setInputDone([&progress](std::int64_t done) { return progress.partDone(done); });
    // An empty file holds no entries to keep; it is simply replaced.
    std::int64_t endAt = 0;
    if (archiveExists && archiveStat.st_size > 0) {
        if (Outcome o = rewriteExisting(archivePath, inputs, writer, method, progress, endAt);
            o.failed())
            return o;
    }
    Batch batch(writer, method, progress);
    for (Input& input : inputs.list()) {
        if (input.done) continue;
        if (Outcome o = batch.add(input); o.failed()) return o;
    }
    if (Outcome o = batch.flush(); o.failed()) return o;
    // Asked during the last entry, the stop still holds: the archive stays.
    if (progress.stopRequested()) return cancelled(progress);
    if (!writer.finish()) return archiveFailure(writer);
    if (Outcome o = keepTrailing(lock.archive(), endAt, result, archivePath); o.failed()) return o;
    if (auto status = result.commit(0, lock.archive()); status != dozo::fileio::Status::ok)
        return replacementFailure(status, archivePath, !archiveExists);
    return {};
}

}  // namespace unlha32
