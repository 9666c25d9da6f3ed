#pragma once

#include "core/libraries/LibraryBinding.h"
#include "core/startup/AppDirectories.h"

#include <QStringList>
#include <cstdint>

namespace dozo {

// What the window needs to run its start-up.
struct StartUpOptions {
    QStringList arguments;   // the command line without the program name
    QString applicationDir;  // empty: the folder of the running executable
    QString systemDir;       // empty: the install's library folder
    QString workDir;         // empty: the user's cache folder (WorkDirectory::forUser)
};

// What start-up learns of one library: whether it was found and answered
// its version query, and that version.
struct FoundLibrary {
    bool present = false;
    std::int32_t version = 0;  // 0 while absent
    QString versionText;       // "1.11"; empty while absent
};

struct FoundLibraries {
    FoundLibrary archiver;
    FoundLibrary transform;
    FoundLibrary keyed;
    QStringList problems;  // what is wrong with the install, a line each
};

// Finding the libraries as both front ends do. The window keeps the findings
// in its own state and mirrors them on its controls (menu items, frames,
// caption); dozo-cli asks for the one library a command uses.
class StartUp {
public:
    // All three, with what start-up found wrong with the install, one line
    // each for the caller to show: a library that is there but cannot be
    // bound, and, when none of them is there, the folder that was searched.
    static FoundLibraries findAll(const AppDirectories& dirs, LibraryBinding& libraries);

    // One library each: where it is looked for, and its version. A program
    // that needs one library binds only that one (the archiver brings the Qt
    // GUI libraries with it).
    static FoundLibrary findArchiver(const AppDirectories& dirs, LibraryBinding& libraries);
    static FoundLibrary findTransform(const AppDirectories& dirs, LibraryBinding& libraries);
    static FoundLibrary findKeyed(const AppDirectories& dirs, LibraryBinding& libraries);

    // The arguments arrive already split by the caller, so the last one is
    // taken whole: a path with spaces must stay one path.
    static QString lastArgument(const QStringList& arguments);

    // An ordinary file (or a link to one) named `fileName` in `folder`.
    static bool isPresent(const QString& folder, const QString& fileName);

    static QString caption();
};

}  // namespace dozo
