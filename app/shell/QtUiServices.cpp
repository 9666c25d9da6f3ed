#include "app/shell/QtUiServices.h"

#include "app/shell/FileFilter.h"
#include "app/shell/HelperProgram.h"
#include "core/startup/AppInfo.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>

namespace dozo {

namespace {

// Qt's file dialog writes the folders it visited, its view and its history
// into QtProject.conf in the user's configuration folder when it closes, and
// has no switch against it; this program promises to store no settings.
// Qt's per-user settings are pointed where no file can ever be made: every
// QSettings of the process (there is none of our own) reads nothing there and
// fails to write, silently.
void storeNoQtSettings() {
    const QString nowhere = QStringLiteral("/dev/null");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
}

}  // namespace

QtUiServices::QtUiServices(QWidget* owner) : m_owner(owner) {
    storeNoQtSettings();
}

UiServices::Answer QtUiServices::messageBox(const QString& text, const QString& title,
                                            Buttons buttons, Icon icon) {
    QMessageBox box(m_owner);
    box.setWindowTitle(title.isEmpty() ? QString::fromLatin1(kAppTitle) : title);
    // Texts carry file names, which may look like markup: never let Qt
    // guess that a name is rich text.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case Icon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    // Qt's own button texts follow the translation that happens to be
    // installed; the Japanese texts are what this program's users expect.
    if (buttons == Buttons::YesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? Answer::Yes : Answer::No;
    }
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return Answer::Ok;
}

std::optional<QStringList> QtUiServices::fileDialog(DialogMode mode, const QString& title,
                                                    const QString& filter,
                                                    const QString& proposedName) {
    QFileDialog dialog(m_owner, title);
    dialog.setNameFilter(toQtFilter(filter));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const bool save = mode == DialogMode::Save || mode == DialogMode::SaveAddingTo;
    // Qt's question reads "replace it?"; a file that is added to is not.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, mode == DialogMode::SaveAddingTo);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save                              ? QFileDialog::AnyFile
                       : mode == DialogMode::OpenSeveral ? QFileDialog::ExistingFiles
                                                         : QFileDialog::ExistingFile);
    if (!proposedName.isEmpty()) dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles();
}

std::optional<QString> QtUiServices::openFileDialog(const QString& title, const QString& filter,
                                                    const QString& proposedName) {
    const auto chosen = fileDialog(DialogMode::OpenOne, title, filter, proposedName);
    if (!chosen) return std::nullopt;
    return chosen->constFirst();
}

std::optional<QStringList> QtUiServices::openFilesDialog(const QString& title,
                                                         const QString& filter) {
    return fileDialog(DialogMode::OpenSeveral, title, filter, QString());
}

std::optional<QString> QtUiServices::saveFileDialog(const QString& title, const QString& filter,
                                                    const QString& proposedName,
                                                    Existing existing) {
    const auto chosen =
        fileDialog(existing == Existing::AddedTo ? DialogMode::SaveAddingTo : DialogMode::Save,
                   title, filter, proposedName);
    if (!chosen) return std::nullopt;
    return chosen->constFirst();
}

std::optional<QString> QtUiServices::browseFolder(const QString& prompt) {
    const QString folder = QFileDialog::getExistingDirectory(m_owner, prompt);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
}

std::optional<QString> QtUiServices::askSecret(const QString& prompt, const QString& title) {
    QInputDialog dialog(m_owner);
    dialog.setWindowTitle(title.isEmpty() ? QString::fromLatin1(kAppTitle) : title);
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    // Kept out of an input method's dictionary and suggestions.
    dialog.setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("キャンセル"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

bool QtUiServices::openDocument(const QString& path) {
    // The desktop's opener, found as every helper is: never from the current
    // folder, which QDesktopServices would search through an empty PATH entry.
    const QString opener = findHelperProgram({QStringLiteral("xdg-open")});
    return !opener.isEmpty() && QProcess::startDetached(opener, {path});
}

// Only a program named by its absolute path: for any other name Qt searches
// PATH, where "." or a relative entry is the current folder (core's
// findProgram gives the absolute path).
bool QtUiServices::startProgram(const QString& path) {
    return QDir::isAbsolutePath(path) && QProcess::startDetached(path, {});
}

}  // namespace dozo
