#include "PackagePanel.h"

#include "AppInfo.h"
#include "ArchiveCommands.h"
#include "ArchivedCopy.h"
#include "ArchiverCall.h"
#include "FileDropFilter.h"
#include "PackageCall.h"
#include "PackageNames.h"
#include "PanelControls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace dozo {

using panel_controls::buddyLabel;
using panel_controls::etchedLine;
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
    PASS->setToolTip(QStringLiteral("暗号化解除パスワードを半角100文字以内で指定します。"));
    Label2 = buddyLabel("Label2", QStringLiteral("暗号化パスワード(&P)："), PASS, this);
    Line3 = etchedLine("Line3", true, this);
    Line4 = etchedLine("Line4", false, this);
    LHAEnc = named(new QPushButton(QStringLiteral("暗号化後LHA圧縮(&L)..."), this), "LHAEnc");
    LHAEnc->setToolTip(QStringLiteral("通常の暗号化処理の後､LHA書庫に格納します。"));
    Enc = named(new QPushButton(QStringLiteral("通常暗号化(&E)..."), this), "Enc");
    Enc->setToolTip(QStringLiteral("暗号化を行ないます。"));

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
}

void PackagePanel::connectCommands() {
    connect(BR, &QPushButton::clicked, this, &PackagePanel::BR_Click);
    connect(Enc, &QPushButton::clicked, this, &PackagePanel::Enc_Click);
    connect(LHAEnc, &QPushButton::clicked, this, &PackagePanel::LHAEnc_Click);
    FileDropFilter::install(TFile, [this](const QStringList& paths) { TFile_OLEDragDrop(paths); });
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

void PackagePanel::showTarget() {
    TFile->setText(m_shell.state().TFN);
}

bool PackagePanel::targetIsUsable() {
    // The commands work on TFN, which only Browse, a drop or the command line
    // set: a path merely typed into TFile would otherwise be packaged as
    // nothing at all.
    const QString& target = m_shell.state().TFN;
    if (target.isEmpty()) {
        showError(
            QStringLiteral("暗号化するファイルが指定されていません。\r\n"
                           "「参照」ボタンで選択するか、ファイルをドロップしてください。"));
        return false;
    }
    const QFileInfo info(target);
    if (!info.isFile() || !info.isReadable()) {
        showError(QStringLiteral("【") + target + QStringLiteral("】は\r\n") +
                  QStringLiteral("読み込めるファイルではありません。"));
        return false;
    }
    return true;
}

bool PackagePanel::encrypt(bool thenArchive) {
    if (!targetIsUsable()) return false;
    const auto answer =
        m_shell.ui().messageBox(QStringLiteral("暗号化しますか"), title(),
                                UiServices::Buttons::YesNo, UiServices::Icon::Question);
    if (answer != UiServices::Answer::Yes) return false;

    WindowState& state = m_shell.state();
    const std::optional<QString> chosen = m_shell.ui().saveFileDialog(
        QStringLiteral("暗号化後のファイル名"), QStringLiteral("実行可能ファイル (*.exe)|*.exe"),
        PackageNames::proposedExecutableName(state.TFN));
    if (!chosen) return false;
    state.EFN = *chosen;

    // The package replaces whatever is at its destination: written over the
    // target, it would take the only plain copy of the user's file with it.
    if (PackageNames::sameFile(state.EFN, state.TFN)) {
        showAborted(QStringLiteral("暗号化するファイルと同じ名前では保存できません。"));
        return false;
    }
    if (thenArchive) {
        // Checked before the package is built: an archive named like the
        // executable would be packed into itself and then deleted with it,
        // and one named like the target would rewrite the target.
        const QString archive = PackageNames::archiveName(state.EFN);
        if (PackageNames::sameFile(archive, state.EFN) ||
            PackageNames::sameFile(archive, state.TFN)) {
            showAborted(QStringLiteral("【") + archive +
                        QStringLiteral("】には書庫を作成できません。"));
            return false;
        }
        if (!ArchiveCommands::isQuotable(archive) || !ArchiveCommands::isQuotable(state.EFN)) {
            showAborted(QStringLiteral("「\"」を含むパスは書庫の処理に使えません。"));
            return false;
        }
    }

    PackageCall call(m_shell.libraries().rivo());
    void* owner = m_shell.ownerHandle();
    const QString source = state.TFN;
    const QString destination = state.EFN;
    const QString password = PASS->text();
    const int result = m_shell.longRun().run(
        [&](LongRun::Progress&) { return call.run(owner, source, destination, password); });
    if (result != 0) {
        showAborted(PackageCall::reasonFor(result));
        return false;
    }
    return true;
}

void PackagePanel::Enc_Click() {
    if (!encrypt(false)) return;
    showCompleted();
}

void PackagePanel::LHAEnc_Click() {
    if (!encrypt(true)) return;
    WindowState& state = m_shell.state();
    state.SFN = PackageNames::archiveName(state.EFN);

    // Without an archiver the executable must stay: deleting it would leave
    // neither a package nor an archive.
    if (state.UNLHAVer == 0) {
        showAborted(ArchiverCall::reasonFor(ArchiverCall::kUnavailable));
        return;
    }
    ArchiverCall call(m_shell.libraries().unlha32());
    void* owner = m_shell.ownerHandle();
    const QByteArray command = ArchiveCommands::packFileCommand(state.SFN, state.EFN);
    const QString archive = state.SFN;
    const QString executable = state.EFN;
    struct Packed {
        ArchiverCall::Outcome outcome;
        ArchivedCopy::Result copy;
    };
    const Packed packed = m_shell.longRun().run([&](LongRun::Progress&) {
        Packed result{call.run(owner, command), {}};
        if (!result.outcome.failed())
            result.copy = ArchivedCopy::check(call, owner, archive, executable);
        return result;
    });
    if (packed.outcome.failed()) {
        showAborted(packed.outcome.reason);
        return;
    }
    // The executable is the only copy of the package until the archive is
    // known to hold it.
    if (!packed.copy.held()) {
        showAborted(packed.copy.reason);
        return;
    }

    QFile file(state.EFN);
    if (!file.remove()) {
        showError(QStringLiteral("【") + state.EFN +
                  QStringLiteral("】を削除できませんでした。\r\n") + file.errorString());
    }
    showCompleted();
}

}  // namespace dozo
