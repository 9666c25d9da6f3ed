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
};

}  // namespace dozo
