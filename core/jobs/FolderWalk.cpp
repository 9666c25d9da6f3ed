#include "core/jobs/FolderWalk.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QPair>

#include <algorithm>

namespace dozo {

FolderWalk FolderWalk::of(const QString& folder) {
    FolderWalk walk;
    QList<QPair<QString, qint64>> found;
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
            found.append({info.filePath(), info.size()});
        } else {
            ++walk.skipped;
        }
    }
    std::sort(found.begin(), found.end());
    for (const auto& [file, size] : found) {
        walk.files.append(file);
        walk.sizes.append(size);
    }
    return walk;
}

}  // namespace dozo
