#include "app/shell/MainMenu.h"

#include <QMenu>

namespace dozo {

namespace {

QAction* item(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

QAction* separator(QMenu* menu, const char* name) {
    QAction* action = menu->addSeparator();
    action->setObjectName(QLatin1String(name));
    return action;
}

QMenu* submenu(QWidget* parent, const char* name, const QString& caption, QAction*& action) {
    auto* menu = new QMenu(caption, parent);
    menu->setObjectName(QLatin1String(name) + QLatin1String("Popup"));
    action = menu->menuAction();
    action->setObjectName(QLatin1String(name));
    return menu;
}

}  // namespace

MainMenu::MainMenu(QMenuBar* bar) {
    QMenu* file = submenu(bar, "mnuFile", QStringLiteral("ファイル(&F)"), mnuFile);
    bar->addMenu(file);
    mnuFileOpen = item(file, "mnuFileOpen", QStringLiteral("暗号化ファイル指定(&O)..."));
    mnuFileBar1 = separator(file, "mnuFileBar1");
    QMenu* enc = submenu(file, "mnuEnc", QStringLiteral("RIVO暗号化実行(&E)"), mnuEnc);
    file->addMenu(enc);
    mnuEncryption = item(enc, "mnuEncryption", QStringLiteral("通常暗号化(&E)..."));
    mnuLHAEnc = item(enc, "mnuLHAEnc", QStringLiteral("暗号化後LHA圧縮(&L)..."));
    mnuFileBar2 = separator(file, "mnuFileBar2");
    mnuExit = item(file, "mnuExit", QStringLiteral("終了(&X)"));

    QMenu* dll = submenu(bar, "mnuDLL", QStringLiteral("DLL(&D)"), mnuDLL);
    bar->addMenu(dll);
    QMenu* dllSet = submenu(dll, "mnuDLLSet", QStringLiteral("DLLの設定(&S)"), mnuDLLSet);
    dll->addMenu(dllSet);
    mnuLHASet = item(dllSet, "mnuLHASet", QStringLiteral("UNLHA32.DLLの設定(&L)..."));
    QMenu* dllVer = submenu(dll, "mnuDLLVer", QStringLiteral("DLLのバージョン(&V)"), mnuDLLVer);
    dll->addMenu(dllVer);
    mnuLHAVer = item(dllVer, "mnuLHAVer", QStringLiteral("UNLHA32.DLLのバージョン情報(&L)..."));
    mnuRazuVer = item(dllVer, "mnuRazuVer", QStringLiteral("Rozu32.DLLのバージョン情報(&F)..."));
    mnuVovVer = item(dllVer, "mnuVovVer", QStringLiteral("Vod32.DLLのバージョン情報(&S)..."));

    QMenu* help = submenu(bar, "mnuHelp", QStringLiteral("ヘルプ(&H)"), mnuHelp);
    bar->addMenu(help);
    mnuReadMe = item(help, "mnuReadMe", QStringLiteral("Read Meを表示(&R)"));
    mnuHelpBar1 = separator(help, "mnuHelpBar1");
    mnuAbout = item(help, "mnuAbout", QStringLiteral("バージョン情報(&A)..."));
}

void MainMenu::hold(bool held) {
    if (!held) {
        for (const auto& [action, enabled] : m_held) action->setEnabled(enabled);
        m_held.clear();
        return;
    }
    if (!m_held.isEmpty()) return;
    for (QAction* action :
         {mnuFile, mnuFileOpen, mnuEnc, mnuEncryption, mnuLHAEnc, mnuExit, mnuDLL, mnuDLLSet,
          mnuLHASet, mnuDLLVer, mnuLHAVer, mnuRazuVer, mnuVovVer, mnuHelp, mnuReadMe, mnuAbout}) {
        m_held.append({action, action->isEnabled()});
        action->setEnabled(false);
    }
}

}  // namespace dozo
