#pragma once

#include <QString>

namespace dozo {

// Qt's own Japanese texts for its standard dialogs and buttons (file dialogs,
// the folder browser, "Cancel"), which would otherwise stay English beside the
// program's Japanese captions, and Japanese as the default locale (the names
// of file types). Loaded whatever the locale, since the whole interface is
// Japanese.
class QtTranslation {
public:
    // Installs qtbase_ja from Qt's translations folder into the running
    // application. False, with one line on stderr naming the folder, when it
    // is not there (Debian: qt6-translations-l10n); the dialogs then stay
    // English and everything else works.
    static bool install();

    static QString folder();
};

}  // namespace dozo
