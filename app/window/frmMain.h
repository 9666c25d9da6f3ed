#pragma once

#include "app/shell/LongRun.h"
#include "app/shell/MainMenu.h"
#include "app/shell/QtUiServices.h"
#include "app/shell/ShellContext.h"
#include "app/shell/WindowState.h"
#include "core/libraries/LibraryBinding.h"
#include "core/startup/AppDirectories.h"
#include "core/startup/StartUp.h"
#include "core/startup/WorkDirectory.h"

#include <QMainWindow>
#include <QTabWidget>
#include <QTimer>
#include <memory>

namespace dozo {

class EnablementTick;
class PackagePanel;
class ArchivePanel;
class TransformPanel;
class KeyedPanel;

// The main window: four panels on a tab control, the menu bar, the
// enablement timer, the shared window state and the libraries. Start-up runs in the
// constructor, before the window is first shown.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // `ui` answers every message box and dialog; nullptr means the real Qt
    // dialogs. When given, it must outlive the window.
    explicit frmMain(const StartUpOptions& options = {}, UiServices* ui = nullptr,
                     QWidget* parent = nullptr);
    ~frmMain() override;

    void setUiServices(UiServices* ui);
    UiServices& ui() { return m_shell.ui(); }

    WindowState& state() { return m_state; }
    ShellContext& shell() { return m_shell; }
    LibraryBinding& libraries() { return m_libraries; }
    LongRun& longRun() { return *m_longRun; }
    const AppDirectories& directories() const { return m_dirs; }
    const WorkDirectory& workDirectory() const { return m_work; }

    MainMenu& menu() { return *m_menu; }
    QTabWidget* SSTab1() const { return m_tabs; }
    // The enablement tick's timer: single-shot, started by a change of what
    // the rules read, so it runs at most 10 ms after the change and never
    // while the window is idle or a long run holds it.
    QTimer* Tmr() const { return m_timer; }
    PackagePanel* packagePanel() const { return m_package; }
    ArchivePanel* archivePanel() const { return m_archive; }
    TransformPanel* transformPanel() const { return m_transform; }
    KeyedPanel* keyedPanel() const { return m_keyed; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectMenus();
    void applyStartUp();
    void fixGeometry();

    AppDirectories m_dirs;
    WorkDirectory m_work;
    WindowState m_state;
    LibraryBinding m_libraries;
    QtUiServices m_qtUi;
    LongRun* m_longRun;
    ShellContext m_shell;

    std::unique_ptr<MainMenu> m_menu;
    QTabWidget* m_tabs = nullptr;
    QTimer* m_timer = nullptr;
    EnablementTick* m_enablement = nullptr;
    PackagePanel* m_package = nullptr;
    ArchivePanel* m_archive = nullptr;
    TransformPanel* m_transform = nullptr;
    KeyedPanel* m_keyed = nullptr;
};

}  // namespace dozo
