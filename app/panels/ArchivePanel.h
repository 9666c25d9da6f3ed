#pragma once

#include "app/shell/LongRun.h"
#include "app/shell/ShellContext.h"
#include "core/jobs/ArchiveJob.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

namespace dozo {

// Tab 1 "複数ファイル圧縮": packs the listed files into one LHA archive or
// extracts an archive.
class ArchivePanel : public QWidget {
    Q_OBJECT
public:
    explicit ArchivePanel(ShellContext& shell, QWidget* parent = nullptr);

    // The commands of the panel, one per control event.
    void cmdDelete_Click();
    void cmdClear_Click();
    void cmdCompress_Click();
    void cmdDevelop_Click();
    // Appends the dropped paths in their order; folders and duplicates too.
    // `unnamed`: dropped files whose names are not UTF-8, escaped.
    void FL_OLEDragDrop(const QStringList& paths, const QStringList& unnamed = {});

protected:
    ShellContext& m_shell;

private:
    // The controls, by their object names. The window's enablement tick
    // reads and sets them; everything else goes through the commands above.
    friend class EnablementTick;

    QLabel* Label3;
    QListWidget* FL;
    // Scratch text for the extract command; never shown to the user.
    QLabel* L1;
    QPushButton* cmdDelete;
    QPushButton* cmdClear;
    QPushButton* cmdCompress;
    QPushButton* cmdDevelop;
    QProgressBar* ArcPrg;
    QPushButton* ArcCancel;

    void createControls();
    void connectCommands();
    void showError(const QString& reason);
    void showError(const ArchiveJob::Outcome& outcome);
    void showInformation(const QString& text);
    ArchiveJob archiveJob();
    // Where the panel's file dialogs open: the folder of the list's current
    // entry, as a path ending in "/"; empty (the user's home) for an empty list.
    QString startFolder() const;
    // Escape and ArcCancel ask `control` to stop.
    LongRun::Cancel cancel(JobControl& control);
};

}  // namespace dozo
