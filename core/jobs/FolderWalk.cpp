#include "core/jobs/FolderWalk.h"

#include "dozo/fileio/printable.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <tuple>

namespace dozo {

namespace {

using Found = QList<std::tuple<QString, qint64, FolderWalk::Identity>>;

// The entries of the open folder `dir`, whose path is `path`, and below.
// Names are read as bytes: a name that does not decode and encode back to
// itself would name another file (or none) once it is a QString, so it is
// set aside whole, never listed or entered. Sub-folders are opened from
// their parent without following links, so a folder swapped for a link
// during the walk is not entered either.
void walkFolder(int dir, const QByteArray& path, FolderWalk& walk, Found& found) {
    DIR* listing = ::fdopendir(dir);
    if (!listing) {
        ::close(dir);
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        const QByteArray full = path + '/' + QByteArray(name.data(), qsizetype(name.size()));
        const QString decoded = QFile::decodeName(full);
        if (QFile::encodeName(decoded) != full) {
            walk.unnamable.append(QString::fromStdString(
                fileio::printable(std::string_view(full.constData(), std::size_t(full.size())))));
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++walk.skipped;  // gone since the listing
        } else if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(::dirfd(listing), entry->d_name,
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) walkFolder(sub, full, walk, found);
        } else if (S_ISREG(st.st_mode)) {
            found.append({decoded,
                          st.st_size,
                          {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)}});
        } else {
            ++walk.skipped;  // a link or a special file
        }
    }
    ::closedir(listing);
}

}  // namespace

FolderWalk FolderWalk::of(const QString& folder) {
    FolderWalk walk;
    Found found;
    QByteArray path = QFile::encodeName(folder);
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    // The folder itself may be a link: the user chose it by name.
    const int dir = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) walkFolder(dir, path == "/" ? QByteArray() : path, walk, found);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    for (const auto& [file, size, identity] : found) {
        walk.files.append(file);
        walk.sizes.append(size);
        walk.identities.append(identity);
    }
    walk.unnamable.sort();
    return walk;
}

std::optional<FolderWalk::Identity> FolderWalk::identityOf(int folder, const char* name) {
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return Identity{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

}  // namespace dozo
