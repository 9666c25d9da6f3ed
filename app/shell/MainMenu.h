#pragma once

#include <QAction>
#include <QList>
#include <QMenuBar>
#include <QPair>

namespace dozo {

// The menu bar of the main window. Every item, separators and submenus
// included, is a QAction whose object name is the item's name; a submenu's
// item is its menuAction(). Commands are connected by the window.
class MainMenu {
public:
    explicit MainMenu(QMenuBar* bar);

    // Disables every item while a long run holds the window, and gives each
    // its own state back afterwards. A menu bar the desktop shows outside the
    // window (a global menu) reaches the items without passing the window's
    // input, and a command started then would nest a run or open a dialog
    // that the held window never lets the user answer.
    void hold(bool held);

    QAction* mnuFile;
    QAction* mnuFileOpen;
    QAction* mnuFileBar1;
    QAction* mnuEnc;
    QAction* mnuEncryption;
    QAction* mnuLHAEnc;
    QAction* mnuFileBar2;
    QAction* mnuExit;
    QAction* mnuDLL;
    QAction* mnuDLLSet;
    QAction* mnuLHASet;
    QAction* mnuDLLVer;
    QAction* mnuLHAVer;
    QAction* mnuRazuVer;
    QAction* mnuVovVer;
    QAction* mnuHelp;
    QAction* mnuReadMe;
    QAction* mnuHelpBar1;
    QAction* mnuAbout;

private:
    QList<QPair<QAction*, bool>> m_held;
};

}  // namespace dozo
