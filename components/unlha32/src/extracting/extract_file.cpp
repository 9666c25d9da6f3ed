#include <archive_entry.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>

#include "command/progress.h"
#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "extracting/extractor.h"
#include "reading/archive_reader.h"

namespace unlha32 {

using dozo::fileio::Fd;
using dozo::fileio::Placement;

Extractor::Step Extractor::extractFile(archive_entry* entry, const std::vector<std::string>& parts,
                                       const std::string& name) {
    // Whatever this entry made goes again unless the file is placed.
    struct Cleanup {
        Destination& destination;
        const std::vector<std::string>& parts;
        Destination::Made made;
        Placement file;
        bool placed = false;
        ~Cleanup() {
            if (placed) return;
            file.discard();
            destination.removeMade(parts, made);
        }
    } cleanup{destination_, parts, {}, {}};

    const Fd dir(openFolders(parts, parts.size() - 1, cleanup.made, name));
    if (dir.get() < 0) return skipData() ? Step::next : Step::stop;
    const std::string& leaf = parts.back();
    const std::string path = destination_.pathOf(parts, parts.size());

    struct stat existing {};
    const bool exists = ::fstatat(dir.get(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FILE_FOLDER, path},
                "同じ名前のフォルダーがあるため展開できません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    if (exists && !overwrite_) {
        problem(UNLHA_ERROR_SKIPPED, {UNLHA_CAUSE_FILE_KEPT, path},
                "既存のファイルを上書きしません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    if (archive_entry_size_is_set(entry) == 0) {
        problem(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_NO_SIZE, stored_},
                "大きさの分からない項目は展開しません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    // A small archive may declare a file larger than the disk: refuse it before
    // a byte is written rather than fill the disk with it.
    const la_int64_t declared = archive_entry_size(entry);
    struct statvfs fs {};
    if (::fstatvfs(dir.get(), &fs) == 0 &&
        static_cast<unsigned long long>(declared) >
            static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize) {
        problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FILE_NO_SPACE, path},
                "展開先の空き容量が足りないため展開しません: " + name + " (" +
                    std::to_string(declared) + "バイト)");
        return skipData() ? Step::next : Step::stop;
    }

    dozo::fileio::PlacementOptions options;
    options.tag = dozo::fileio::kTagUnlha;
    if (const int error = cleanup.file.create(dir.get(), leaf, options); error != 0) {
        problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FILE_CREATE, path, error},
                "ファイルを作れません: " + name + " (" + std::strerror(error) + ")");
        return skipData() ? Step::next : Step::stop;
    }
    if (writeData(cleanup.file.fd(), declared, name, path) == Step::stop) return Step::stop;

    if (const int error = cleanup.file.setPermissions(
            dozo::fileio::restoredMode(static_cast<mode_t>(archive_entry_perm(entry))));
        error != 0) {
        notice("ファイルの属性を戻せません: " + name + " (" + std::strerror(error) + ")");
    }
    const timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(entry), 0}};
    if (::futimens(cleanup.file.fd(), times) != 0)
        notice("ファイルの時刻を戻せません: " + name + " (" + std::strerror(errno) + ")");
    // A replaced file was the user's own: make the new one durable before the
    // old one goes.
    if (exists) {
        if (const int error = cleanup.file.flush(); error != 0) {
            problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FILE_WRITE, path, error},
                    "ファイルを書けません: " + name + " (" + std::strerror(error) + ")");
            return Step::next;
        }
    }
    const int placed =
        cleanup.file.place(exists ? Placement::Existing::replace : Placement::Existing::keep);
    if (placed == EEXIST) {
        problem(UNLHA_ERROR_SKIPPED, {UNLHA_CAUSE_FILE_KEPT, path},
                "既存のファイルを上書きしません: " + name);
    } else if (placed != 0) {
        problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FILE_PLACE, path, placed},
                "ファイルを置けません: " + name + " (" + std::strerror(placed) + ")");
    } else {
        cleanup.placed = true;
    }
    return Step::next;
}

Extractor::Step Extractor::writeData(int fd, la_int64_t declared, const std::string& name,
                                     const std::string& path) {
    la_int64_t written = 0;
    for (;;) {
        const long n = reader_.readData(buffer_.get(), kChunk);
        if (n == 0) break;
        if (n < 0) {
            // A CRC mismatch arrives as a warning at the end of the data; the
            // decoder cannot resynchronise after a data error, so stop here.
            problem(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_DATA, stored_},
                    "データが壊れています: " + name + " (" + reader_.error() + ")");
            return Step::stop;
        }
        if (n > declared - written) {
            problem(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_DATA, stored_},
                    "データが宣言された大きさを超えています: " + name);
            return Step::stop;
        }
        written += n;
        if (!dozo::fileio::writeAll(fd, buffer_.get(), static_cast<std::size_t>(n))) {
            const int error = errno;
            problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FILE_WRITE, path, error},
                    "ファイルを書けません: " + name + " (" + std::strerror(error) + ")");
            return Step::stop;
        }
        // Stopped inside, the file is not placed: what was written goes.
        if (!progress_->partDone(written)) {
            stoppedIn_ = path;
            return Step::stop;
        }
    }
    if (written != declared) {
        problem(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ENTRY_DATA, stored_},
                "データが宣言された大きさに足りません: " + name);
        return Step::stop;
    }
    return Step::next;
}

}  // namespace unlha32
