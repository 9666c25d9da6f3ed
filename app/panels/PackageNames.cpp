#include "PackageNames.h"

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
    return executable.left(qMax<qsizetype>(0, executable.size() - kCut)) + QStringLiteral(".lzh");
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
