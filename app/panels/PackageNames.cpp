#include "PackageNames.h"

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

}  // namespace dozo
