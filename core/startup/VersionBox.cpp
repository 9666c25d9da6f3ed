#include "core/startup/VersionBox.h"

namespace dozo {

QString VersionBox::textFor(const QString& libraryName, const QString& versionText) {
    // U+FF0D, the full-width hyphen, with one ordinary space on each side.
    return libraryName + QStringLiteral(" \uFF0D Ver ") + versionText;
}

VersionBox VersionBox::of(Library library, const QString& versionText) {
    QString name;
    switch (library) {
        case Library::Unlha32:
            name = QStringLiteral("UNLHA32.DLL");
            break;
        case Library::Rozu32:
            name = QStringLiteral("Rozu32.DLL");
            break;
        case Library::Vod32:
            name = QStringLiteral("Vod32.DLL");
            break;
    }
    return {textFor(name, versionText), name + QStringLiteral("のバージョン情報")};
}

}  // namespace dozo
