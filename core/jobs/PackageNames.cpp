#include "core/jobs/PackageNames.h"

#include <QDir>
#include <QFileInfo>

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
        return first.canonicalFilePath() == second.canonicalFilePath();
    }
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

}  // namespace dozo
