#pragma once

#include "cli/Report.h"

#include "core/libraries/LibraryBinding.h"
#include "core/startup/AppDirectories.h"
#include "core/startup/WindowState.h"
#include "core/startup/WorkDirectory.h"

namespace dozo::cli {

// The libraries found as the window finds them at start-up (its system
// folder, the application folder), their versions, and the
// work folder of the transform runs. Each library is looked for when first
// asked about, so a command binds only what it uses.
class Session {
public:
    Session();

    const AppDirectories& dirs() const { return m_dirs; }
    LibraryBinding& libraries() { return m_libraries; }
    const WorkDirectory& work() const { return m_work; }
    // Start-up's findings for all three libraries the window looks for.
    const WindowState& state();

    bool hasTransform();
    bool hasKeyed();
    // A version of 0 is what the window takes for "no archiver".
    bool hasArchiver();

    // "where we looked" for a message about a missing library.
    QString searched() const;
    // Says that the library `name` was not found and where it was looked for,
    // or, when it is there but cannot be bound, why; the exit status for it.
    int missingLibrary(Report& report, const char* name);

private:
    AppDirectories m_dirs;
    LibraryBinding m_libraries;
    WindowState m_state;
    WorkDirectory m_work;
    bool m_archiverLooked = false;
    bool m_transformLooked = false;
    bool m_keyedLooked = false;
};

}  // namespace dozo::cli
