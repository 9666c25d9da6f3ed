#pragma once

#include <AppDirectories.h>
#include <LibraryBinding.h>
#include <WindowState.h>
#include <WorkDirectory.h>

namespace dozo::cli {

// The libraries found as the window finds them at start-up (its system
// folder, DOZO_SYSTEM_DIR, the application folder), their versions, and the
// work folder of the transform runs.
class Session {
public:
    Session();

    const AppDirectories& dirs() const { return m_dirs; }
    LibraryBinding& libraries() { return m_libraries; }
    const WindowState& state() const { return m_state; }
    const WorkDirectory& work() const { return m_work; }

    bool hasTransform() const { return m_state.RazuEx == kPresent; }
    bool hasKeyed() const { return m_state.VovEx == kPresent; }
    // A version of 0 is what the window takes for "no archiver".
    bool hasArchiver() const { return m_state.UNLHAVer != 0; }

    // "where we looked" for a message about a missing library.
    QString searched() const;

private:
    AppDirectories m_dirs;
    LibraryBinding m_libraries;
    WindowState m_state;
    WorkDirectory m_work;
};

}  // namespace dozo::cli
