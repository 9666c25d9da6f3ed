#include "app/panels/PackagePanel.h"

#include "app/panels/FileDropFilter.h"
#include "app/panels/PanelControls.h"
#include "core/jobs/PackageJob.h"
#include "core/jobs/PackageNames.h"
#include "core/startup/AppInfo.h"
#include "core/text/Reasons.h"

#include <QHBoxLayout>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace dozo {

using panel_controls::buddyLabel;
using panel_controls::etchedLine;
using panel_controls::maskSecret;
using panel_controls::named;

namespace {

QString title() {
    return QString::fromLatin1(kAppTitle);
}

}  // namespace

PackagePanel::PackagePanel(ShellContext& shell, QWidget* parent) : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("PackagePanel"));
    createControls();
    connectCommands();
}

void PackagePanel::createControls() {
    // Created in tab order: the focus chain follows creation.
    TFile = named(new QLineEdit(this), "TFile");
    TFile->setToolTip(QStringLiteral("暗号化するファイルをフルパスで指定します。"));
    Label1 = buddyLabel("Label1", QStringLiteral("暗号化するファイル(&T)："), TFile, this);
    BR = named(new QPushButton(QStringLiteral("参照(&B)..."), this), "BR");
    BR->setToolTip(QStringLiteral("暗号化するファイルをダイアログから選択します。"));
    PASS = named(new QLineEdit(this), "PASS");
    PASS->setMaxLength(kPasswordMaxLength);
    // A dropped file's name is no password.
    PASS->setAcceptDrops(false);
    maskSecret(PASS, "PASSShow");
    PASS->setToolTip(QStringLiteral("暗号化解除パスワードを半角100文字以内で指定します。"));
    Label2 = buddyLabel("Label2", QStringLiteral("暗号化パスワード(&P)："), PASS, this);
    Line3 = etchedLine("Line3", true, this);
    Line4 = etchedLine("Line4", false, this);
    LHAEnc = named(new QPushButton(QStringLiteral("暗号化後LHA圧縮(&L)..."), this), "LHAEnc");
    LHAEnc->setToolTip(QStringLiteral("通常の暗号化処理の後､LHA書庫に格納します。"));
    Enc = named(new QPushButton(QStringLiteral("通常暗号化(&E)..."), this), "Enc");
    Enc->setToolTip(QStringLiteral("暗号化を行ないます。"));
    PkgPrg = panel_controls::progressBar("PkgPrg", this);
    PkgCancel = panel_controls::cancelButton("PkgCancel", this, true);

    setTabOrder(TFile, BR);
    setTabOrder(BR, PASS);
    setTabOrder(PASS, LHAEnc);
    setTabOrder(LHAEnc, Enc);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(TFile);
    auto* browseRow = new QHBoxLayout;
    browseRow->addStretch();
    browseRow->addWidget(BR);
    layout->addLayout(browseRow);
    auto* passRow = new QHBoxLayout;
    passRow->addWidget(Label2);
    passRow->addWidget(PASS, 1);
    layout->addLayout(passRow);
    layout->addStretch();
    auto* etched = new QVBoxLayout;
    etched->setSpacing(0);
    etched->addWidget(Line3);
    etched->addWidget(Line4);
    layout->addLayout(etched);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addStretch();
    bottomRow->addWidget(LHAEnc);
    bottomRow->addWidget(Enc);
    layout->addLayout(bottomRow);
    layout->addLayout(panel_controls::progressRow(PkgPrg, PkgCancel));
}

void PackagePanel::connectCommands() {
    connect(BR, &QPushButton::clicked, this, &PackagePanel::BR_Click);
    connect(Enc, &QPushButton::clicked, this, &PackagePanel::Enc_Click);
    connect(LHAEnc, &QPushButton::clicked, this, &PackagePanel::LHAEnc_Click);
    FileDropFilter::install(TFile,
                            [this](const FileDropFilter::Dropped& files) { takeDrop(files); });
}

void PackagePanel::showError(const QString& text) {
    m_shell.ui().messageBox(text, title(), UiServices::Buttons::Ok, UiServices::Icon::Error);
}

void PackagePanel::showAborted(const QString& reason) {
    showError(QStringLiteral("エラー発生。処理を中断します。\r\n") + reason);
}

void PackagePanel::showCompleted() {
    m_shell.ui().messageBox(QStringLiteral("暗号化が完了しました。"), title(),
                            UiServices::Buttons::Ok, UiServices::Icon::Information);
}

void PackagePanel::showCancelled(const PackageJob::Outcome& outcome) {
    const QString text =
        outcome.kept.isEmpty()
            ? QStringLiteral("暗号化を中止しました。\r\n【%1】は作成していません。")
                  .arg(m_shell.state().EFN)
            : QStringLiteral(
                  "書庫への圧縮を中止しました。書庫【%1】は元のままです。\r\n"
                  "暗号化したファイル【%2】はそのまま残っています。")
                  .arg(outcome.path, outcome.kept);
    m_shell.ui().messageBox(text, title(), UiServices::Buttons::Ok, UiServices::Icon::Information);
}

void PackagePanel::BR_Click() {
    const std::optional<QString> chosen =
        m_shell.ui().openFileDialog(QStringLiteral("暗号化するファイル"),
                                    QStringLiteral("全てのファイル (*.*)|*.*"), QString());
    if (!chosen) return;
    m_shell.state().TFN = *chosen;
    TFile->setText(m_shell.state().TFN);
}

void PackagePanel::TFile_OLEDragDrop(const QStringList& paths) {
    if (paths.isEmpty()) return;
    m_shell.state().TFN = paths.constFirst();
    TFile->setText(m_shell.state().TFN);
}

void PackagePanel::takeDrop(const FileDropFilter::Dropped& files) {
    if (files.unnamedFirst) {
        showError(QStringLiteral("【") + files.unnamed.constFirst() + QStringLiteral("】は\r\n") +
                  Reasons::nameNotUtf8());
        return;
    }
    TFile_OLEDragDrop(files.paths);
}

void PackagePanel::showTarget() {
    TFile->setText(m_shell.state().TFN);
}

bool PackagePanel::targetIsUsable() {
    // The target is what the field shows: a path typed or edited after 参照
    // is the one packaged, checked like a chosen one.
    m_shell.state().TFN = TFile->text();
    const QString& target = m_shell.state().TFN;
    const PackageJob::Outcome checked = PackageJob::checkTarget(target);
    if (checked.ok()) return true;
    if (target.isEmpty()) {
        showError(
            checked.reason +
            QStringLiteral("\r\n「参照」ボタンで選択するか、ファイルをドロップしてください。"));
    } else {
        showError(QStringLiteral("【") + target + QStringLiteral("】は\r\n") + checked.reason);
    }
    return false;
}

void PackagePanel::encrypt(bool thenArchive) {
    if (!targetIsUsable()) return;
    const auto answer =
        m_shell.ui().messageBox(QStringLiteral("暗号化しますか"), title(),
                                UiServices::Buttons::YesNo, UiServices::Icon::Question);
    if (answer != UiServices::Answer::Yes) return;

    WindowState& state = m_shell.state();
    const std::optional<QString> chosen = m_shell.ui().saveFileDialog(
        QStringLiteral("暗号化後のファイル名"), QStringLiteral("実行可能ファイル (*.exe)|*.exe"),
        PackageNames::proposedExecutableName(state.TFN), UiServices::Existing::Replaced);
    if (!chosen) return;
    state.EFN = *chosen;
    if (thenArchive) state.SFN = PackageNames::archiveName(state.EFN);

    // The job takes a view of these bytes; they are wiped once it is over.
    QByteArray password = PASS->text().toUtf8();
    const auto wipe = qScopeGuard([&password] { password.fill('\0'); });
    const PackageJob::Request request{state.TFN, state.EFN, password, thenArchive};
    if (const PackageJob::Outcome checked = PackageJob::check(request); !checked.ok()) {
        showAborted(checked.reason);
        return;
    }
    // An archive of that name from before would hand on the package beside
    // whatever else it holds (the plain file itself, say).
    if (thenArchive && !panel_controls::mayAddTo(m_shell.ui(), state.SFN)) return;
    PackageJob job(m_shell.libraries(), m_shell.ownerHandle());
    const bool archiverPresent = state.UNLHAVer != 0;
    JobControl control;
    const PackageJob::Outcome outcome = m_shell.longRun().run(
        [&](LongRun::Progress& progress) {
            control.setReport(panel_controls::barReport(PkgPrg, progress));
            return job.run(request, archiverPresent, &control);
        },
        {[&control] { control.cancel(); }, PkgCancel});
    const auto reset = qScopeGuard([this] { PkgPrg->setValue(0); });
    if (outcome.status == PackageJob::Status::Cancelled) {
        showCancelled(outcome);
        return;
    }
    if (!outcome.ok()) {
        // The package is the file the user just named; any other is named.
        showAborted(outcome.path.isEmpty() || outcome.path == state.EFN
                        ? outcome.reason
                        : outcome.reason + QStringLiteral(": ") + outcome.path);
        return;
    }
    showCompleted();
}

void PackagePanel::Enc_Click() {
    encrypt(false);
}

void PackagePanel::LHAEnc_Click() {
    encrypt(true);
}

}  // namespace dozo
