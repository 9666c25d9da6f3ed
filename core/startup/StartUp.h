#pragma once

#include "core/libraries/LibraryBinding.h"
#include "core/startup/AppDirectories.h"
#include "core/startup/WindowState.h"

#include <QStringList>

namespace dozo {

// What the window needs to run its start-up.
struct StartUpOptions {
    QStringList arguments;   // the command line without the program name
    QString applicationDir;  // empty: the folder of the running executable
    QString systemDir;       // empty: the install's library folder
    QString workDir;         // empty: the user's cache folder (WorkDirectory::forUser)
};

// The start-up sequence without its effects on controls: reads the command
// line, records the system directory, finds the three libraries and their
// versions, and resets ET. The window then mirrors the result on its
// controls (target field, menu items, frames, caption).
class StartUp {
public:
    // What start-up found wrong with the install, one line each for the
    // caller to show: a library that is there but cannot be bound, and, when
    // none of them is there, the folder that was searched.
    static QStringList run(const StartUpOptions& options, const AppDirectories& dirs,
                           LibraryBinding& libraries, WindowState& state);

    // Each library's part of run(): where it is looked for, its presence
    // flag and version. A program that needs one library binds only that one
    // (the archiver brings the Qt GUI libraries with it).
    static void findArchiver(const AppDirectories& dirs, LibraryBinding& libraries,
                             WindowState& state);
    static void findTransform(const AppDirectories& dirs, LibraryBinding& libraries,
                              WindowState& state);
    static void findKeyed(const AppDirectories& dirs, LibraryBinding& libraries,
                          WindowState& state);

    // The arguments arrive already split by the caller, so the last one is
    // taken whole: a path with spaces must stay one path.
    static QString lastArgument(const QStringList& arguments);

    // An ordinary file (or a link to one) named `fileName` in `folder`.
    static bool isPresent(const QString& folder, const QString& fileName);

    static QString caption();
};

}  // namespace dozo
