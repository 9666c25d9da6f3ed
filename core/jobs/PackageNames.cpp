#include "core/jobs/PackageNames.h"

#include "core/jobs/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

namespace dozo {

namespace {

constexpr qsizetype kCut = 4;

}  // namespace

QString PackageNames::proposedExecutableName(const QString& target) {
    if (target.size() < kCut) return {};
    return target.left(target.size() - kCut) + QStringLiteral(".exe");
}

QString PackageNames::archiveName(const QString& executable) {
    // Only the file name is looked at, so the archive lands beside the
    // package whatever the name: "pkg" packs into "pkg.lzh", not into an
    // archive named after its folder.
    const qsizetype folderEnd = executable.lastIndexOf(QLatin1Char('/')) + 1;
    QString name = executable.mid(folderEnd);
    if (name.size() > kCut && name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        name.chop(kCut);
    return executable.left(folderEnd) + name + QStringLiteral(".lzh");
}

bool PackageNames::sameFile(const QString& a, const QString& b) {
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists()) {
        const QString one = first.canonicalFilePath();
        const QString other = second.canonicalFilePath();
        // Two spellings of one file need not resolve to one path: in a folder
        // mounted twice, or in another case on a file system that ignores
        // case, the package would take the target's place all the same. The
        // files themselves are compared, another hard link being the same.
        const auto oneFile = FolderWalk::identityOf(AT_FDCWD, QFile::encodeName(one).constData());
        const auto otherFile =
            FolderWalk::identityOf(AT_FDCWD, QFile::encodeName(other).constData());
        if (oneFile && otherFile) return *oneFile == *otherFile;
        return one == other;
    }
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

}  // namespace dozo
