#pragma once

#include "app/shell/LongRun.h"
#include "app/shell/UiServices.h"
#include "app/shell/WindowState.h"
#include "core/libraries/LibraryBinding.h"
#include "core/startup/AppDirectories.h"
#include "core/startup/WorkDirectory.h"

#include <QWidget>

namespace dozo {

// What a panel may use of the window it sits in: the shared state, the
// dialogs, the libraries, the long-run helper and the folders. The window
// owns all of it and outlives its panels.
class ShellContext {
public:
    ShellContext(QWidget* window, WindowState& state, LibraryBinding& libraries, LongRun& longRun,
                 const AppDirectories& dirs, const WorkDirectory& work, UiServices& ui)
        : m_window(window),
          m_state(state),
          m_libraries(libraries),
          m_longRun(longRun),
          m_dirs(dirs),
          m_work(work),
          m_ui(&ui) {}

    QWidget* window() const { return m_window; }
    // The owner argument of every library call; the libraries ignore it.
    void* ownerHandle() const { return static_cast<void*>(m_window); }

    WindowState& state() { return m_state; }
    LibraryBinding& libraries() { return m_libraries; }
    LongRun& longRun() { return m_longRun; }
    const AppDirectories& directories() const { return m_dirs; }
    const WorkDirectory& work() const { return m_work; }

    UiServices& ui() { return *m_ui; }
    void setUi(UiServices& ui) { m_ui = &ui; }

private:
    QWidget* m_window;
    WindowState& m_state;
    LibraryBinding& m_libraries;
    LongRun& m_longRun;
    const AppDirectories& m_dirs;
    const WorkDirectory& m_work;
    UiServices* m_ui;
};

}  // namespace dozo
