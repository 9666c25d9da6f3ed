#pragma once

#include <QString>

namespace dozo {

// The names the package panel derives. Both rules cut four characters
// without looking at them: users see and confirm these names, so they stay
// as they always were, odd cases included ("photo.jpeg" proposes
// "photo..exe", "package" archives as "pac.lzh").
class PackageNames {
public:
    // The target minus its last four characters, then ".exe"; empty (no
    // proposal) for a target of fewer than four characters.
    static QString proposedExecutableName(const QString& target);
    // The executable minus its last four characters, then ".lzh".
    static QString archiveName(const QString& executable);

    // Both paths name the same file: through links when both exist, else by
    // their absolute spelling. The package replaces whatever is at its
    // destination, so the names are checked against the target first.
    static bool sameFile(const QString& a, const QString& b);
};

}  // namespace dozo
