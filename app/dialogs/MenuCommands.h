#pragma once

#include "app/dialogs/frmAbout.h"
#include "app/shell/MainMenu.h"
#include "app/shell/ShellContext.h"
#include "core/startup/VersionBox.h"

#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>

namespace dozo {

// The menu items of the main window that belong to no panel: the archiver's
// settings, the three version boxes, Read Me and the About box. Lives as a
// child of the window; the About box it opens does not.
class MenuCommands : public QObject {
    Q_OBJECT
public:
    MenuCommands(ShellContext& shell, MainMenu& menu, QObject* parent);

    // The open About box, or nullptr.
    frmAbout* about() const { return m_about; }
    // The Read Me shown in the program's own window, or nullptr.
    QPlainTextEdit* readMeWindow() const { return m_readMe; }

    void mnuLHASet_Click();
    void mnuLHAVer_Click();
    void mnuRazuVer_Click();
    void mnuVovVer_Click();
    void mnuReadMe_Click();
    void mnuAbout_Click();

private:
    void showVersionBox(VersionBox::Library library, const QString& versionText);
    void showReadMe(const QString& path, const QByteArray& text);

    ShellContext& m_shell;
    QPointer<frmAbout> m_about;
    QPointer<QPlainTextEdit> m_readMe;
};

}  // namespace dozo
