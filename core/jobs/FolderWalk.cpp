#include "core/jobs/FolderWalk.h"

#include "core/text/ShownName.h"

#include <dozo/fileio/placement.h>

#include <QFile>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <tuple>

namespace dozo {

namespace {

using Found = QList<std::tuple<QString, qint64, FolderWalk::Identity>>;

// Lists the open folder `fd` (closed here), known to the user as `path`.
// One descriptor is held per level: a tree too deep for them is reported as
// unreadable there, never cut short in silence.
void walkFolder(int fd, const QString& path, FolderWalk& walk, Found& found) {
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        walk.unreadable.append(path);
        return;
    }
    const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) walk.unreadable.append(path);
            break;
        }
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") continue;
        const QString shown = QFile::decodeName(name);
        // A name that does not come back as the same bytes could never be
        // opened through the path the run is given.
        if (QFile::encodeName(shown) != name) {
            walk.unnamed.append(shownName(QFile::encodeName(prefix) + name));
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(dir), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone since the listing
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(::dirfd(dir), name.constData(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0)
                walk.unreadable.append(prefix + shown);
            else
                walkFolder(sub, prefix + shown, walk, found);
        } else if (S_ISREG(st.st_mode)) {
            // A temporary of ours (a rewrite under way, or one a kill left)
            // is no file of the user's: rewritten, it would lose its mark and
            // never be swept, and count as a file done.
            if (fileio::isOurTemporary(::dirfd(dir),
                                       std::string_view(name.constData(), name.size())))
                continue;
            found.append({prefix + shown,
                          st.st_size,
                          {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)}});
        } else {
            ++walk.skipped;
        }
    }
    ::closedir(dir);
}

}  // namespace

FolderWalk FolderWalk::of(const QString& folder) {
    FolderWalk walk;
    Found found;
    // The folder named may be a link: the user chose it by name.
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        walk.unreadable.append(folder);
    else
        walkFolder(fd, folder, walk, found);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    for (const auto& [file, size, identity] : found) {
        walk.files.append(file);
        walk.sizes.append(size);
        walk.identities.append(identity);
    }
    walk.unreadable.sort();
    walk.unnamed.sort();
    return walk;
}

std::optional<FolderWalk::Identity> FolderWalk::identityOf(int folder, const char* name) {
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return Identity{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

}  // namespace dozo
