#include "app/shell/QtUiServices.h"

#include "app/shell/FileFilter.h"
#include "app/shell/HelperProgram.h"
#include "core/startup/AppInfo.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTreeView>

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

// The folder a dialog opens in for `path`: its nearest existing folder, or
// the user's home for a bare name or nothing. Never the process's current
// folder, which is wherever the desktop happened to start the program.
QString startFolderFor(const QString& path) {
    if (!QDir::isAbsolutePath(path)) return QDir::homePath();
    QFileInfo at(path.endsWith(QLatin1Char('/')) ? path : QFileInfo(path).path());
    while (!at.isDir() && !at.isRoot()) at.setFile(at.path());
    // Nothing of the path's folders is left: the root is no better a guess.
    if (!at.isDir() || (at.isRoot() && QFileInfo(path).path() != at.filePath()))
        return QDir::homePath();
    return at.filePath();
}

// Qt's file list sizes its columns for English; a size, a type and a date
// written out in full fit only when the columns take what their longest
// likely text needs.
void widenColumns(QFileDialog& dialog) {
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view) return;
    QHeaderView* header = view->header();
    const QFontMetrics metrics(view->font());
    const QLocale system = QLocale::system();  // the list's sizes and dates follow it
    QStringList sizes;
    for (qint64 unit = 1024; unit <= Q_INT64_C(1) << 40; unit *= 1024)
        sizes << system.formattedDataSize(unit * 1023 + unit * 99 / 100);
    const QStringList samples[] = {
        sizes,
        {QStringLiteral("プレーンテキスト文書")},
        {system.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59, 59)), QLocale::ShortFormat)},
    };
    const int margins = 2 * metrics.averageCharWidth() +
                        2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int column = 1; column <= 3; ++column) {
        int needed = 0;
        for (const QString& sample : samples[column - 1])
            needed = qMax(needed, metrics.horizontalAdvance(sample) + margins);
        header->resizeSection(column, qMax(header->sectionSize(column), needed));
    }
}

}  // namespace

QtUiServices::QtUiServices(QWidget* owner) : m_owner(owner) {
    storeNoQtSettings();
}

UiServices::Answer QtUiServices::messageBox(const QString& text, const QString& title,
                                            Buttons buttons, Icon icon) {
    return detailedMessageBox(text, QString(), title, buttons, icon);
}

UiServices::Answer QtUiServices::detailedMessageBox(const QString& text, const QString& details,
                                                    const QString& title, Buttons buttons,
                                                    Icon icon) {
    QMessageBox box(m_owner);
    box.setWindowTitle(title.isEmpty() ? QString::fromLatin1(kAppTitle) : title);
    // Texts carry file names, which may look like markup: never let Qt
    // guess that a name is rich text.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setInformativeText(details);
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
    QPushButton* open =
        buttons == Buttons::OkOpenFolder
            ? box.addButton(QStringLiteral("フォルダーを開く(&O)"), QMessageBox::ActionRole)
            : nullptr;
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return open && box.clickedButton() == open ? Answer::OpenFolder : Answer::Ok;
}

std::optional<QStringList> QtUiServices::fileDialog(DialogMode mode, const QString& title,
                                                    const QString& filter,
                                                    const QString& proposedName, int* type) {
    QFileDialog dialog(m_owner, title, startFolderFor(proposedName));
    widenColumns(dialog);
    const QStringList types = toQtFilter(filter).split(QStringLiteral(";;"));
    dialog.setNameFilters(types);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const bool save = mode == DialogMode::Save || mode == DialogMode::SaveAddingTo;
    // Qt's question reads "replace it?"; a file that is added to is not.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, mode == DialogMode::SaveAddingTo);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save                              ? QFileDialog::AnyFile
                       : mode == DialogMode::OpenSeveral ? QFileDialog::ExistingFiles
                                                         : QFileDialog::ExistingFile);
    const QString name = QFileInfo(proposedName).fileName();
    if (!name.isEmpty()) dialog.selectFile(name);
    // Last: changing the options lists the types anew, with the first selected.
    if (type != nullptr && *type >= 0 && *type < types.size())
        dialog.selectNameFilter(types.at(*type));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    if (type != nullptr) {
        // Hiding the details, Qt names the chosen type without its patterns.
        const QString chosen = dialog.selectedNameFilter();
        *type = -1;
        for (qsizetype i = 0; i < types.size() && *type < 0; ++i) {
            const QString& t = types.at(i);
            if (chosen == t || chosen == t.left(t.lastIndexOf(QStringLiteral(" ("))))
                *type = static_cast<int>(i);
        }
    }
    return dialog.selectedFiles();
}

std::optional<QString> QtUiServices::openFileDialog(const QString& title, const QString& filter,
                                                    const QString& proposedName) {
    const auto chosen = fileDialog(DialogMode::OpenOne, title, filter, proposedName);
    if (!chosen) return std::nullopt;
    return chosen->constFirst();
}

std::optional<QStringList> QtUiServices::openFilesDialog(const QString& title,
                                                         const QString& filter,
                                                         const QString& startFolder) {
    return fileDialog(DialogMode::OpenSeveral, title, filter,
                      startFolder.isEmpty() ? QString() : startFolder + QLatin1Char('/'));
}

std::optional<QString> QtUiServices::saveFileDialog(const QString& title, const QString& filter,
                                                    const QString& proposedName, Existing existing,
                                                    int* type) {
    const auto chosen =
        fileDialog(existing == Existing::AddedTo ? DialogMode::SaveAddingTo : DialogMode::Save,
                   title, filter, proposedName, type);
    if (!chosen) return std::nullopt;
    return chosen->constFirst();
}

std::optional<QString> QtUiServices::browseFolder(const QString& prompt,
                                                  const QString& startFolder) {
    const QString folder = QFileDialog::getExistingDirectory(
        m_owner, prompt,
        startFolderFor(startFolder.isEmpty() ? QString() : startFolder + QLatin1Char('/')));
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
