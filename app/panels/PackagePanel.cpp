#include "PackagePanel.h"

#include "PanelControls.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace dozo {

using panel_controls::buddyLabel;
using panel_controls::etchedLine;
using panel_controls::named;

PackagePanel::PackagePanel(ShellContext& shell, QWidget* parent) : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("PackagePanel"));
    createControls();
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

}  // namespace dozo
