#include "FileListCommands.h"

#include "../shell/AppInfo.h"

namespace dozo {

namespace {

QString title() {
    return QString::fromLatin1(kAppTitle);
}

}  // namespace

QStringList FileListCommands::entries(const QListWidget* list) {
    QStringList paths;
    paths.reserve(list->count());
    for (int i = 0; i < list->count(); ++i) paths.append(list->item(i)->text());
    return paths;
}

void FileListCommands::add(UiServices& ui, QListWidget* list) {
    const std::optional<QString> chosen = ui.openFileDialog(
        QStringLiteral("追加するファイル"), QStringLiteral("全てのファイル (*.*)|*.*"), QString());
    if (chosen) list->addItem(*chosen);
}

void FileListCommands::removeSelected(QListWidget* list) {
    // From the end, so that removing an entry never shifts one still to be
    // looked at.
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->item(i)->isSelected()) delete list->takeItem(i);
    }
}

void FileListCommands::clear(UiServices& ui, QListWidget* list) {
    const UiServices::Answer answer =
        ui.messageBox(QStringLiteral("全ての項目を解除しますか？"), title(),
                      UiServices::Buttons::YesNo, UiServices::Icon::Question);
    if (answer == UiServices::Answer::Yes) list->clear();
}

void FileListCommands::showOutcome(UiServices& ui, const BatchOutcome& outcome) {
    ui.messageBox(outcome.message(), title(), UiServices::Buttons::Ok,
                  outcome.allSucceeded() ? UiServices::Icon::Information : UiServices::Icon::Error);
}

}  // namespace dozo
