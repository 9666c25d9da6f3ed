#include "core/jobs/FolderWalk.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <tuple>

namespace dozo {

FolderWalk FolderWalk::of(const QString& folder) {
    FolderWalk walk;
    QList<std::tuple<QString, qint64, Identity>> found;
    // Without FollowSymlinks, a link to a folder is met as a link and never
    // entered.
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink()) {
            ++walk.skipped;
        } else if (info.isDir()) {
            continue;
        } else if (info.isFile()) {
            struct stat st {};
            // Gone or swapped for a link since the listing: not a file of
            // the walk any more.
            if (::lstat(QFile::encodeName(info.filePath()).constData(), &st) != 0 ||
                !S_ISREG(st.st_mode)) {
                ++walk.skipped;
                continue;
            }
            found.append({info.filePath(), st.st_size, {st.st_dev, st.st_ino}});
        } else {
            ++walk.skipped;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    for (const auto& [file, size, identity] : found) {
        walk.files.append(file);
        walk.sizes.append(size);
        walk.identities.append(identity);
    }
    return walk;
}

std::optional<FolderWalk::Identity> FolderWalk::identityOf(int folder, const char* name) {
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return Identity{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

}  // namespace dozo
