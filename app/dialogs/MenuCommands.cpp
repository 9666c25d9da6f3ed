#include "app/dialogs/MenuCommands.h"

#include "app/dialogs/TextWindow.h"
#include "app/shell/QtUiServices.h"
#include "core/startup/AppInfo.h"
#include "core/text/Reasons.h"

#include <dozo/contracts/unlha32.h>

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace dozo {

MenuCommands::MenuCommands(ShellContext& shell, MainMenu& menu, QObject* parent)
    : QObject(parent), m_shell(shell) {
    setObjectName(QStringLiteral("MenuCommands"));
    connect(menu.mnuLHASet, &QAction::triggered, this, &MenuCommands::mnuLHASet_Click);
    connect(menu.mnuLHAVer, &QAction::triggered, this, &MenuCommands::mnuLHAVer_Click);
    connect(menu.mnuRazuVer, &QAction::triggered, this, &MenuCommands::mnuRazuVer_Click);
    connect(menu.mnuVovVer, &QAction::triggered, this, &MenuCommands::mnuVovVer_Click);
    connect(menu.mnuReadMe, &QAction::triggered, this, &MenuCommands::mnuReadMe_Click);
    connect(menu.mnuAbout, &QAction::triggered, this, &MenuCommands::mnuAbout_Click);
}

void MenuCommands::mnuLHASet_Click() {
    // A library without the export is no failure of the settings: the
    // terminal that started the window hears why, nothing else.
    Library& unlha32 = m_shell.libraries().unlha32();
    auto* configDialog = unlha32.function<UnlhaConfigDialogFn>(contracts::kUnlhaConfigDialog);
    if (!configDialog) {
        std::fprintf(stderr, "dozo: %s\n", unlha32.errorText().toLocal8Bit().constData());
        return;
    }
    // The option text is empty, but the export takes it writable: a zeroed
    // buffer leaves room should the archiver write its options back.
    char options[1024] = {};
    const int code = configDialog(m_shell.ownerHandle(), options, 0);
    // Closing the dialog without saving is no failure; a dialog that cannot
    // be shown at all is.
    if (code == contracts::unlha::kNoDialog || code == contracts::unlha::kNoGui) {
        m_shell.ui().messageBox(Reasons::archiver(code), QString::fromLatin1(kAppTitle),
                                UiServices::Buttons::Ok, UiServices::Icon::Error);
    }
}

void MenuCommands::showVersionBox(VersionBox::Library library) {
    const VersionBox box = VersionBox::of(library, m_shell.state());
    m_shell.ui().messageBox(box.text, box.title, UiServices::Buttons::Ok, UiServices::Icon::None);
}

void MenuCommands::mnuLHAVer_Click() {
    showVersionBox(VersionBox::Library::Unlha32);
}

void MenuCommands::mnuRazuVer_Click() {
    showVersionBox(VersionBox::Library::Rozu32);
}

void MenuCommands::mnuVovVer_Click() {
    showVersionBox(VersionBox::Library::Vod32);
}

void MenuCommands::mnuReadMe_Click() {
    const QString path = m_shell.directories().data + QStringLiteral("ReadMe.txt");
    QFile file(path);
    // A folder opens for reading too; it is no Read Me.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        m_shell.ui().messageBox(QStringLiteral("Read Meを表示できません。\r\n") +
                                    Reasons::cannotOpen(path) + QStringLiteral(": ") + path,
                                QString::fromLatin1(kAppTitle), UiServices::Buttons::Ok,
                                UiServices::Icon::Error);
        return;
    }
    // The desktop's viewer when there is one; a desktop without one (or
    // without a desktop at all) still gets the guide, in a window of ours.
    if (!m_shell.ui().openDocument(path)) showReadMe(path, file.readAll());
}

void MenuCommands::showReadMe(const QString& path, const QByteArray& text) {
    showTextWindow(
        m_readMe, qobject_cast<QWidget*>(parent()), QStringLiteral("ReadMeViewer"),
        QFileInfo(path).fileName() + QStringLiteral(" - ") + QString::fromLatin1(kAppTitle),
        QString::fromUtf8(text));
}

void MenuCommands::mnuAbout_Click() {
    if (m_about) {
        m_about->setWindowState(m_about->windowState() & ~Qt::WindowMinimized);
        m_about->show();
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    // The real dialogs belong to the box that asks; services a test put in
    // place are handed on, since the window's own real ones die with it.
    UiServices* ui = &m_shell.ui();
    if (dynamic_cast<QtUiServices*>(ui)) ui = nullptr;
    m_about = new frmAbout(ui);
    m_about->show();
}

}  // namespace dozo
