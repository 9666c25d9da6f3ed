#pragma once

#include <QString>

namespace dozo {

// The names a package job derives. The proposal cuts four characters without
// looking at them: users see and confirm it in the save dialog, so it stays
// as it always was, odd cases included ("photo.jpeg" proposes "photo..exe").
// The archive's name is never shown before it is written, so it is made from
// the file name alone and always lies beside the package.
class PackageNames {
public:
    // The target minus its last four characters, then ".exe"; empty (no
    // proposal) for a target of fewer than four characters.
    static QString proposedExecutableName(const QString& target);
    // The executable's own name with a final ".exe" (any case) replaced by
    // ".lzh", or with ".lzh" added: "pkg" archives as "pkg.lzh".
    static QString archiveName(const QString& executable);

    // Both paths name the same file: when both exist, the file they reach
    // (through links, hard links, a folder mounted twice), else by their
    // absolute spelling. The package replaces whatever is at its
    // destination, so the names are checked against the target first.
    static bool sameFile(const QString& a, const QString& b);
};

}  // namespace dozo
