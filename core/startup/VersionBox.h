#pragma once

#include <QString>

namespace dozo {

// The plain box each "version" menu item shows: the library's name, a
// full-width hyphen and the version text start-up found.
struct VersionBox {
    enum class Library { Unlha32, Rozu32, Vod32 };

    QString text;
    QString title;

    // "<name> － Ver <version>", e.g. "UNLHA32.DLL － Ver 2.67".
    static QString textFor(const QString& libraryName, const QString& versionText);
    // `versionText` is what start-up found ("2.67").
    static VersionBox of(Library library, const QString& versionText);
};

}  // namespace dozo
