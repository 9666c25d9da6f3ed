#pragma once

#include "app/shell/ShellContext.h"
#include "app/shell/UiServices.h"
#include "core/jobs/BatchOutcome.h"
#include "core/jobs/FolderWalk.h"
#include "core/jobs/InPlaceJob.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <functional>

namespace dozo {

// The list commands the transform and keyed panels share: add through the
// open dialog, remove the selection, clear after a question, and the closing
// message of a run.
class FileListCommands {
public:
    static QStringList entries(const QListWidget* list);

    // Appends the chosen files in the order the dialog gives them; a
    // cancelled dialog changes nothing.
    static void add(UiServices& ui, QListWidget* list);
    // What a drop on a list adds: each path as it is, a folder too (one
    // entry, which a run opens), all in one insertion; the new entries, in
    // order. `unnamed` are dropped files whose names are not UTF-8 (escaped):
    // no entry can name them, and an error box says so.
    static QList<QListWidgetItem*> addDropped(UiServices& ui, QListWidget* list,
                                              const QStringList& paths,
                                              const QStringList& unnamed = {});

    // Shows each entry as shownName() does; the entry's text, the
    // path a run takes, stays as it is.
    static void showNamesEscaped(QListWidget* list);

    // The list's context menu: 追加…, 削除 and すべて削除, running the
    // given commands (those of the panel's buttons). Its actions are named
    // <list>Add, <list>Remove and <list>Clear; 削除 is enabled while an entry
    // is selected and すべて削除 while the list has any. Delete in the list
    // runs 削除.
    struct ListMenu {
        std::function<void()> add;
        std::function<void()> remove;
        std::function<void()> clear;
    };
    static void addContextMenu(QListWidget* list, ListMenu commands);
    // Every selected entry goes, the others keep their order; how many went.
    static int removeSelected(QListWidget* list);
    static void clear(UiServices& ui, QListWidget* list);

    // The information box "処理が完了しました。" when every file succeeded,
    // else an error box naming the files that failed.
    static void showOutcome(UiServices& ui, const BatchOutcome& outcome);

    // A whole run: `job` over every entry of `list` off the window's thread,
    // `bar` stepping 1..N, the closing message, then the bar back to 0. A
    // folder entry stands for the files below it, which the run rewrites
    // only when the user says so (one question per folder, naming it and how
    // many files it holds); one left alone is named in the closing message.
    // Escape or `cancel` stops the run between files; the message then says
    // how many were done and names those left as they were, and what was
    // done leaves the list, so that 処理開始 goes on with the rest (a folder
    // stopped in the middle stays as the files of it still to do, each held
    // to the file its walk met, and once rewritten to the file the run left).
    static void run(ShellContext& shell, QListWidget* list, QProgressBar* bar, QPushButton* cancel,
                    const InPlaceJob& job);
};

}  // namespace dozo
