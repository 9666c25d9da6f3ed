#include "ArchivePanel.h"

#include "PanelControls.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace dozo {

using panel_controls::buddyLabel;
using panel_controls::named;

ArchivePanel::ArchivePanel(ShellContext& shell, QWidget* parent) : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("ArchivePanel"));
    createControls();
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
}

}  // namespace dozo
