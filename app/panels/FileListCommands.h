#pragma once

#include "app/shell/ShellContext.h"
#include "app/shell/UiServices.h"
#include "core/jobs/BatchOutcome.h"
#include "core/jobs/InPlaceJob.h"

#include <QListWidget>
#include <QProgressBar>
#include <QStringList>

namespace dozo {

// The list commands the transform and keyed panels share: add through the
// open dialog, remove the selection, clear after a question, and the closing
// message of a run.
class FileListCommands {
public:
    static QStringList entries(const QListWidget* list);

    // Appends the chosen file; a cancelled dialog changes nothing. The dialog
    // always opens with an empty file name.
    static void add(UiServices& ui, QListWidget* list);
    // Every selected entry goes, the others keep their order.
    static void removeSelected(QListWidget* list);
    static void clear(UiServices& ui, QListWidget* list);

    // The information box "処理が完了しました。" when every file succeeded,
    // else an error box naming the files that failed.
    static void showOutcome(UiServices& ui, const BatchOutcome& outcome);

    // A whole run: `job` over every entry of `list` off the window's thread,
    // `bar` stepping 1..N, the closing message, then the bar back to 0.
    static void run(ShellContext& shell, const QListWidget* list, QProgressBar* bar,
                    const InPlaceJob& job);
};

}  // namespace dozo
