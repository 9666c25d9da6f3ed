#include "app/panels/ArchivePanel.h"

#include "app/panels/FileDropFilter.h"
#include "app/panels/FileListCommands.h"
#include "app/panels/PanelControls.h"
#include "core/jobs/ArchiveJob.h"
#include "core/libraries/ArchiveCommands.h"
#include "core/startup/AppInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace dozo {

using panel_controls::barReport;
using panel_controls::buddyLabel;
using panel_controls::named;

namespace {

constexpr const char* kAborted = "エラー発生。処理を中断します。";
constexpr const char* kArchiveDialogTitle = "書庫ファイル名";
constexpr const char* kArchiveFilter = "LHA書庫 (*.lzh)|*.lzh";

QString title() {
    return QString::fromLatin1(kAppTitle);
}

// A run that finished, and what the archiver could not do on the way (a
// file it left out, a mode it could not restore): nothing failed, but the
// user is told.
QString finished(QString done, const QStringList& warnings) {
    for (const QString& warning : warnings) done += QStringLiteral("\r\n警告: ") + warning;
    return done;
}

}  // namespace

ArchivePanel::ArchivePanel(ShellContext& shell, QWidget* parent) : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("ArchivePanel"));
    createControls();
    connectCommands();
}

void ArchivePanel::createControls() {
    FL = named(new QListWidget(this), "FL");
    FL->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Label3 = buddyLabel("Label3", QStringLiteral("圧縮するファイル(&L)："), FL, this);
    L1 = named(new QLabel(QStringLiteral("カス"), this), "L1");
    L1->hide();
    cmdDelete = named(new QPushButton(QStringLiteral("解除(&E)"), this), "cmdDelete");
    cmdDelete->setToolTip(QStringLiteral("選択した項目を削除します"));
    cmdClear = named(new QPushButton(QStringLiteral("クリア(&L)"), this), "cmdClear");
    cmdClear->setToolTip(QStringLiteral("リスト内の全項目を削除します"));
    cmdCompress = named(new QPushButton(QStringLiteral("圧縮(&C)..."), this), "cmdCompress");
    cmdCompress->setToolTip(QStringLiteral("リスト内のファイルを圧縮します"));
    cmdDevelop = named(new QPushButton(QStringLiteral("展開(&D)..."), this), "cmdDevelop");
    cmdDevelop->setToolTip(QStringLiteral("既存の書庫ファイルを展開します"));
    ArcPrg = panel_controls::progressBar("ArcPrg", this);
    ArcCancel = panel_controls::cancelButton("ArcCancel", this, true);

    setTabOrder(FL, cmdDelete);
    setTabOrder(cmdDelete, cmdClear);
    setTabOrder(cmdClear, cmdCompress);
    setTabOrder(cmdCompress, cmdDevelop);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label3);
    layout->addWidget(FL, 1);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(cmdDelete);
    bottomRow->addWidget(cmdClear);
    bottomRow->addWidget(cmdCompress);
    bottomRow->addWidget(cmdDevelop);
    layout->addLayout(bottomRow);
    layout->addLayout(panel_controls::progressRow(ArcPrg, ArcCancel));
}

void ArchivePanel::connectCommands() {
    connect(cmdDelete, &QPushButton::clicked, this, &ArchivePanel::cmdDelete_Click);
    connect(cmdClear, &QPushButton::clicked, this, &ArchivePanel::cmdClear_Click);
    connect(cmdCompress, &QPushButton::clicked, this, &ArchivePanel::cmdCompress_Click);
    connect(cmdDevelop, &QPushButton::clicked, this, &ArchivePanel::cmdDevelop_Click);
    FileDropFilter::install(FL, [this](const FileDropFilter::Dropped& files) {
        FL_OLEDragDrop(files.paths, files.unnamed);
    });
    // The list has no add button: its context menu is the dialog's way in.
    FileListCommands::showNamesEscaped(FL);
    FileListCommands::addContextMenu(
        FL, {[this] { FileListCommands::add(m_shell.ui(), FL); }, [this] { cmdDelete_Click(); },
             [this] { cmdClear_Click(); }});
}

void ArchivePanel::showError(const ArchiveJob::Outcome& outcome) {
    // Every failure is about a file, a folder or the archive: it is named.
    showError(outcome.path.isEmpty() ? outcome.reason
                                     : outcome.reason + QStringLiteral(": ") + outcome.path);
}

void ArchivePanel::showError(const QString& reason) {
    QString text = QString::fromUtf8(kAborted);
    if (!reason.isEmpty()) text += QStringLiteral("\r\n") + reason;
    m_shell.ui().messageBox(text, title(), UiServices::Buttons::Ok, UiServices::Icon::Error);
}

void ArchivePanel::showInformation(const QString& text) {
    m_shell.ui().messageBox(text, title(), UiServices::Buttons::Ok, UiServices::Icon::Information);
}

void ArchivePanel::FL_OLEDragDrop(const QStringList& paths, const QStringList& unnamed) {
    FileListCommands::addDropped(m_shell.ui(), FL, paths, unnamed);
}

void ArchivePanel::cmdDelete_Click() {
    const int removed = FileListCommands::removeSelected(FL);
    showInformation(QString::number(removed) + QStringLiteral("個のファイルを解除しました。"));
}

void ArchivePanel::cmdClear_Click() {
    const auto answer =
        m_shell.ui().messageBox(QStringLiteral("全ての項目を解除しますか？"), title(),
                                UiServices::Buttons::YesNo, UiServices::Icon::Question);
    if (answer == UiServices::Answer::Yes) FL->clear();
}

void ArchivePanel::cmdCompress_Click() {
    const std::optional<QString> chosen = m_shell.ui().saveFileDialog(
        QString::fromUtf8(kArchiveDialogTitle), QString::fromUtf8(kArchiveFilter), QString(),
        UiServices::Existing::AddedTo);
    if (!chosen) return;
    const QString archive = *chosen;
    if (!panel_controls::mayAddTo(m_shell.ui(), archive)) return;

    // A folder is one entry: the archiver packs it with the paths below it.
    const QStringList entries = FileListCommands::entries(FL);
    const WorkDirectory& work = m_shell.work();
    QDir().mkpath(work.listFolder());
    ArchiveJob job = archiveJob();
    JobControl control;
    const ArchiveJob::Outcome outcome = m_shell.longRun().run(
        [&](LongRun::Progress& progress) {
            control.setReport(barReport(ArcPrg, progress));
            return job.pack(archive, entries, work.listFile(), "", &control);
        },
        cancel(control));
    const auto reset = qScopeGuard([this] { ArcPrg->setValue(0); });
    if (outcome.status == ArchiveJob::Status::Cancelled) {
        QDir().rmdir(work.listFolder());
        showInformation(QStringLiteral("圧縮を中止しました。%1 個のファイルは圧縮していません。\r\n"
                                       "書庫【%2】は元のままです。")
                            .arg(outcome.notDone)
                            .arg(archive));
        return;
    }
    if (!outcome.ok()) {
        // The list stays for the next pack to reuse.
        showError(outcome);
        return;
    }
    QDir().rmdir(work.listFolder());
    showInformation(finished(QStringLiteral("圧縮完了！"), outcome.warnings));
}

void ArchivePanel::cmdDevelop_Click() {
    const std::optional<QString> chosen = m_shell.ui().openFileDialog(
        QString::fromUtf8(kArchiveDialogTitle), QString::fromUtf8(kArchiveFilter), QString());
    if (!chosen) return;
    L1->setText(*chosen);
    const QString archive = L1->text();

    // Without a chosen folder there is nowhere sensible to unpack to; the
    // process's current folder is not a place the user picked.
    const std::optional<QString> folder =
        m_shell.ui().browseFolder(QStringLiteral("展開するディレクトリを選択してください。"));
    if (!folder) return;

    L1->setText(ArchiveCommands::unpackFolderName(QFileInfo(archive).fileName()));
    const QString into = *folder + QLatin1Char('/') + L1->text();
    ArchiveJob job = archiveJob();
    JobControl control;
    const ArchiveJob::Outcome outcome = m_shell.longRun().run(
        [&](LongRun::Progress& progress) {
            control.setReport(barReport(ArcPrg, progress));
            return job.unpack(archive, into, "", &control);
        },
        cancel(control));
    const auto reset = qScopeGuard([this] { ArcPrg->setValue(0); });
    if (outcome.status == ArchiveJob::Status::Cancelled) {
        QString text =
            QStringLiteral(
                "展開を中止しました。%1 個のファイルを展開し、%2 個は展開していません。\r\n"
                "展開したファイルはそのまま残っています。")
                .arg(outcome.done)
                .arg(outcome.notDone);
        // The file under way was not placed: nothing of it is left.
        if (!outcome.removed.isEmpty())
            text += QStringLiteral("\r\n展開中だった【%1】は書きかけのため残していません。")
                        .arg(outcome.removed);
        showInformation(text);
        return;
    }
    if (outcome.status == ArchiveJob::Status::NotAnArchive) {
        m_shell.ui().messageBox(
            QStringLiteral("【") + archive + QStringLiteral("】は\r\n") + outcome.reason, title(),
            UiServices::Buttons::Ok, UiServices::Icon::Error);
        return;
    }
    if (!outcome.ok()) {
        showError(outcome);
        return;
    }
    showInformation(finished(QStringLiteral("展開完了！"), outcome.warnings));
}

LongRun::Cancel ArchivePanel::cancel(JobControl& control) {
    return {[&control] { control.cancel(); }, ArcCancel};
}

ArchiveJob ArchivePanel::archiveJob() {
    // A version of 0 means no archiver was found: calling on regardless would
    // report a pack that never happened as done.
    return ArchiveJob(m_shell.libraries().unlha32(), m_shell.ownerHandle(),
                      m_shell.state().UNLHAVer != 0);
}

}  // namespace dozo
