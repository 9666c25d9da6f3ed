#include "app/panels/FileListCommands.h"

#include "core/jobs/FolderWalk.h"
#include "core/jobs/ListedFiles.h"
#include "core/startup/AppInfo.h"
#include "core/text/Reasons.h"
#include "core/text/ShownName.h"

#include <QAction>
#include <QFileInfo>
#include <QPointer>
#include <QStyledItemDelegate>
#include <algorithm>

namespace dozo {

namespace {

QString title() {
    return QString::fromLatin1(kAppTitle);
}

// An entry's FolderWalk::Identity lives on its item, so it goes with the
// entry however the entry is removed.
constexpr int kWalkedRole = Qt::UserRole;

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

QList<QListWidgetItem*> FileListCommands::addDropped(UiServices& ui, QListWidget* list,
                                                     const QStringList& paths,
                                                     const QStringList& unnamed) {
    // All in one insertion: an entry at a time costs the list view time in
    // proportion to the entries it holds, and a drop of a hundred thousand
    // files froze the window for seconds.
    const int first = list->count();
    list->addItems(paths);
    QList<QListWidgetItem*> added;
    added.reserve(paths.size());
    for (qsizetype i = 0; i < paths.size(); ++i) added.append(list->item(first + int(i)));
    // Said at once: a run over the list must not pass for one over every
    // file dropped.
    if (!unnamed.isEmpty()) {
        ui.messageBox(
            QStringLiteral("ドロップしたものの中に扱えないものがありました。") +
                BatchOutcome::namedPaths(
                    QStringLiteral("一覧に加えなかったもの（元のまま）：") + Reasons::nameNotUtf8(),
                    unnamed),
            title(), UiServices::Buttons::Ok, UiServices::Icon::Error);
    }
    return added;
}

namespace {

class ShownNames : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale&) const override {
        return shownName(value.toString());
    }
};

}  // namespace

void FileListCommands::showNamesEscaped(QListWidget* list) {
    // A newline in a name drew one entry as two lines, which look like two
    // entries; an escape or a bidirectional control could pass one name off
    // as another.
    list->setItemDelegate(new ShownNames(list));
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
    // The key a keyboard user reaches for in a list; only while the list has
    // the focus, so that Delete in a text field still deletes text.
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
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

int FileListCommands::removeSelected(QListWidget* list) {
    QList<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    // Each run of adjacent selected entries goes in one step, from the end so
    // that no step shifts a run still to go: an entry at a time made every
    // removal a selection change, and emptying a list of some thousand
    // entries took seconds.
    for (qsizetype last = rows.size() - 1; last >= 0;) {
        qsizetype first = last;
        while (first > 0 && rows[first - 1] == rows[first] - 1) --first;
        list->model()->removeRows(rows[first], rows[last] - rows[first] + 1);
        last = first - 1;
    }
    return static_cast<int>(rows.size());
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

namespace {

// A folder entry stands for every file below it: the run rewrites them only
// when the user says so, one question per folder.
void askForFolders(UiServices& ui, ListedFiles& listed) {
    for (ListedFiles::Folder& folder : listed.folders()) {
        // Nothing to rewrite: what the walk could not read is named at the end.
        if (folder.walk.files.isEmpty()) continue;
        const QString text = QStringLiteral(
                                 "フォルダー【%1】とその中のフォルダーに %2 "
                                 "個のファイルがあります。\r\n"
                                 "これらのファイルをすべて書き換えますか？")
                                 .arg(shownName(folder.path))
                                 .arg(folder.walk.files.size());
        folder.taken = ui.messageBox(text, title(), UiServices::Buttons::YesNo,
                                     UiServices::Icon::Question) == UiServices::Answer::Yes;
    }
}

}  // namespace

void FileListCommands::run(ShellContext& shell, QListWidget* list, QProgressBar* bar,
                           QPushButton* cancel, const InPlaceJob& job) {
    QList<ListedFiles::Entry> entries;
    entries.reserve(list->count());
    for (int i = 0; i < list->count(); ++i) {
        const QVariant identity = list->item(i)->data(kWalkedRole);
        entries.append({list->item(i)->text(),
                        identity.isValid() ? std::optional(identity.value<FolderWalk::Identity>())
                                           : std::nullopt});
    }
    // A home folder takes seconds to walk: off the window's thread.
    ListedFiles listed =
        shell.longRun().run([&](LongRun::Progress&) { return ListedFiles(std::move(entries)); });
    askForFolders(shell.ui(), listed);
    const qsizetype count = listed.count();
    FolderWalk::Identities rewritten;  // filled by the run's one worker
    // An empty list would turn the bar into a busy indicator.
    if (count > 0) bar->setMaximum(static_cast<int>(count));
    const QPointer<QProgressBar> guarded = bar;
    JobControl control;
    BatchOutcome outcome = shell.longRun().run(
        [&](LongRun::Progress& progress) {
            // One work file serves the whole run: the window makes one call at
            // a time, and the library removes it before returning.
            return job.run(
                listed, shell.ownerHandle(), shell.work().workFiles(1),
                [&](int done, int, bool) {
                    progress.post([guarded, done] {
                        if (guarded) guarded->setValue(done);
                    });
                },
                {}, &control,
                [&rewritten](const QString& path, const FolderWalk::Identity& now) {
                    rewritten.insert(path, now);
                });
        },
        {[&control] { control.cancel(); }, cancel});
    if (outcome.cancelled()) {
        // What was done leaves the list, so that 処理開始 goes on with the
        // rest rather than undo it.
        const QList<ListedFiles::Entry> left = listed.afterStop(outcome);
        QStringList paths;
        for (const ListedFiles::Entry& entry : left) paths.append(entry.path);
        list->clear();
        list->addItems(paths);
        for (qsizetype i = 0; i < left.size(); ++i) {
            if (left[i].walked)
                list->item(int(i))->setData(kWalkedRole, QVariant::fromValue(*left[i].walked));
        }
        outcome.setEntriesLeft(list->count());
    } else {
        // The rewrite put a new file under each such name: the next run over
        // the list is held to that one.
        for (int i = 0; i < list->count(); ++i) {
            QListWidgetItem* item = list->item(i);
            const auto now = rewritten.constFind(item->text());
            if (now != rewritten.cend() && item->data(kWalkedRole).isValid())
                item->setData(kWalkedRole, QVariant::fromValue(*now));
        }
    }
    showOutcome(shell.ui(), outcome);
    bar->setValue(0);
}

}  // namespace dozo
