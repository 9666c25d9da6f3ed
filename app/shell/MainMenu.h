#pragma once

#include <QAction>
#include <QMenuBar>

namespace dozo {

// The menu bar of the main window. Every item, separators and submenus
// included, is a QAction whose object name is the item's name; a submenu's
// item is its menuAction(). Commands are connected by the window.
class MainMenu {
public:
    explicit MainMenu(QMenuBar* bar);

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
};

}  // namespace dozo
