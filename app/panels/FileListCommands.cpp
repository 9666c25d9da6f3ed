#include "app/panels/FileListCommands.h"

#include "core/jobs/FolderWalk.h"
#include "core/startup/AppInfo.h"

#include <QAction>
#include <QFileInfo>
#include <QPointer>

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
    const std::optional<QStringList> chosen = ui.openFilesDialog(
        QStringLiteral("追加するファイル"), QStringLiteral("全てのファイル (*.*)|*.*"));
    if (chosen) list->addItems(*chosen);
}

QStringList FileListCommands::withFolderFiles(const QStringList& paths) {
    QStringList files;
    for (const QString& path : paths) {
        // A link to a folder is opened too: the user chose it by name.
        if (QFileInfo(path).isDir()) {
            files.append(FolderWalk::of(path).files);
        } else {
            files.append(path);
        }
    }
    return files;
}

void FileListCommands::addContextMenu(QListWidget* list, ListMenu commands) {
    const QString name = list->objectName();
    const auto action = [&](const char* suffix, const QString& caption,
                            const std::function<void()>& command) {
        auto* item = new QAction(caption, list);
        item->setObjectName(name + QLatin1String(suffix));
        QObject::connect(item, &QAction::triggered, list, command);
        list->addAction(item);
        return item;
    };
    action("Add", QStringLiteral("追加…"), commands.add);
    QAction* remove = action("Remove", QStringLiteral("削除"), commands.remove);
    QAction* clear = action("Clear", QStringLiteral("すべて削除"), commands.clear);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);

    const auto follow = [list, remove, clear] {
        remove->setEnabled(!list->selectedItems().isEmpty());
        clear->setEnabled(list->count() > 0);
    };
    QObject::connect(list, &QListWidget::itemSelectionChanged, list, follow);
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list, follow);
    QObject::connect(list->model(), &QAbstractItemModel::rowsRemoved, list, follow);
    QObject::connect(list->model(), &QAbstractItemModel::modelReset, list, follow);
    follow();
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

void FileListCommands::run(ShellContext& shell, const QListWidget* list, QProgressBar* bar,
                           QPushButton* cancel, const InPlaceJob& job) {
    const QStringList paths = entries(list);
    // An empty list would turn the bar into a busy indicator.
    if (!paths.isEmpty()) bar->setMaximum(static_cast<int>(paths.size()));
    const QPointer<QProgressBar> guarded = bar;
    JobControl control;
    const BatchOutcome outcome = shell.longRun().run(
        [&](LongRun::Progress& progress) {
            // One work file serves the whole run: the window makes one call at
            // a time, and the library removes it before returning.
            return job.run(
                paths, shell.ownerHandle(), shell.work().workFiles(1),
                [&](int done, int) {
                    progress.post([guarded, done] {
                        if (guarded) guarded->setValue(done);
                    });
                },
                {}, &control);
        },
        {[&control] { control.cancel(); }, cancel});
    showOutcome(shell.ui(), outcome);
    bar->setValue(0);
}

}  // namespace dozo
