#include "app/panels/TransformPanel.h"

#include "app/panels/FileDropFilter.h"
#include "app/panels/FileListCommands.h"
#include "app/panels/PanelControls.h"
#include "core/jobs/InPlaceJob.h"

#include <QGridLayout>
#include <QPointer>
#include <QVBoxLayout>

namespace dozo {

using panel_controls::buddyLabel;
using panel_controls::named;
using panel_controls::progressBar;
using panel_controls::progressRow;

namespace {

struct Method {
    const char* caption;
    const char* toolTip;
};

constexpr Method kMethods[TransformPanel::kMethodCount] = {
    {"FileEncryption&A", "Rudadu算術式暗号化"},
    {"FileEncryption&C", "Rudadu転置式暗号化"},
    {"FileEncryption&LC", "Rudadu論理転置式暗号化"},
    {"FileEncryptionLC&R", "Rudadu論理転換式暗号化"},
    {"FileEncryptionLC&B", "Rudadu論理転置否定式２点間バイナリ補正暗号化"},
    {"FileEncryptionLC&RB", "Rudadu論理転換否定式２点間バイナリ補正暗号化"},
    {"&i-CLOL", "i-CLOL"},
};

}  // namespace

TransformPanel::TransformPanel(ShellContext& shell, QWidget* parent)
    : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("TransformPanel"));
    createControls();
    connectCommands();
}

void TransformPanel::connectCommands() {
    connect(BR2, &QPushButton::clicked, this, &TransformPanel::BR2_Click);
    connect(Del2, &QPushButton::clicked, this, &TransformPanel::Del2_Click);
    connect(CmdCL, &QPushButton::clicked, this, &TransformPanel::CmdCL_Click);
    connect(cmdEnc, &QPushButton::clicked, this, &TransformPanel::cmdEnc_Click);
    // Toggled rather than clicked: arrow keys move the choice too.
    connect(EncTypeGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) EncType_Click(id);
    });
    FileDropFilter::install(IFN, [this](const FileDropFilter::Dropped& files) {
        IFN_OLEDragDrop(files.paths, files.unnamed);
    });
    FileListCommands::showNamesEscaped(IFN);
    FileListCommands::addContextMenu(
        IFN, {[this] { BR2_Click(); }, [this] { Del2_Click(); }, [this] { CmdCL_Click(); }});
}

void TransformPanel::BR2_Click() {
    FileListCommands::add(m_shell.ui(), IFN);
}

void TransformPanel::Del2_Click() {
    FileListCommands::removeSelected(IFN);
}

void TransformPanel::CmdCL_Click() {
    FileListCommands::clear(m_shell.ui(), IFN);
}

void TransformPanel::EncType_Click(int index) {
    m_shell.state().ET = static_cast<std::uint8_t>(index);
}

void TransformPanel::IFN_OLEDragDrop(const QStringList& paths, const QStringList& unnamed) {
    FileListCommands::addDropped(m_shell.ui(), IFN, paths, unnamed);
}

void TransformPanel::cmdEnc_Click() {
    if (m_shell.longRun().busy()) return;
    FileListCommands::run(m_shell, IFN, Prg1, cmdCancel,
                          InPlaceJob::transform(m_shell.libraries().rozu32(), m_shell.state().ET));
}

void TransformPanel::setLibraryPresent(bool present) {
    Frame1->setEnabled(present);
}

void TransformPanel::createControls() {
    IFN = named(new QListWidget(this), "IFN");
    IFN->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Label4 = buddyLabel("Label4", QStringLiteral("対象ファイル(&T)："), IFN, this);

    Frame1 = named(new QGroupBox(QStringLiteral("暗号化/復号形式"), this), "Frame1");
    Picture1 = named(new QWidget(Frame1), "Picture1");
    EncTypeGroup = named(new QButtonGroup(this), "EncTypeGroup");
    auto* options = new QGridLayout(Picture1);
    options->setContentsMargins(0, 0, 0, 0);
    options->setVerticalSpacing(2);
    for (int i = 0; i < kMethodCount; ++i) {
        auto* option = new QRadioButton(QString::fromUtf8(kMethods[i].caption), Picture1);
        option->setObjectName(QStringLiteral("EncType_%1").arg(i));
        option->setToolTip(QString::fromUtf8(kMethods[i].toolTip));
        EncTypeGroup->addButton(option, i);
        // Two columns, filled row by row.
        options->addWidget(option, i / 2, i % 2);
        EncType[i] = option;
    }
    EncType[0]->setChecked(true);
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->setContentsMargins(6, 2, 6, 4);
    frameLayout->addWidget(Picture1);

    BR2 = named(new QPushButton(QStringLiteral("参照(&B)..."), this), "BR2");
    BR2->setToolTip(QStringLiteral("暗号化するファイルをダイアログから選択します。"));
    Del2 = named(new QPushButton(QStringLiteral("解除(&E)"), this), "Del2");
    CmdCL = named(new QPushButton(QStringLiteral("クリア(&L)"), this), "CmdCL");
    CmdCL->setToolTip(QStringLiteral("リスト内の全項目を削除します"));
    cmdEnc = named(new QPushButton(QStringLiteral("処理開始(&S)..."), this), "cmdEnc");
    cmdEnc->setToolTip(QStringLiteral("暗号化処理を開始します"));
    Prg1 = progressBar("Prg1", this);
    cmdCancel = panel_controls::cancelButton("cmdCancel", this);

    QWidget* previous = IFN;
    for (QWidget* next : {static_cast<QWidget*>(EncType[0]), static_cast<QWidget*>(EncType[1]),
                          static_cast<QWidget*>(EncType[2]), static_cast<QWidget*>(EncType[3]),
                          static_cast<QWidget*>(EncType[4]), static_cast<QWidget*>(EncType[5]),
                          static_cast<QWidget*>(EncType[6]), static_cast<QWidget*>(BR2),
                          static_cast<QWidget*>(Del2), static_cast<QWidget*>(CmdCL),
                          static_cast<QWidget*>(cmdEnc)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BR2);
    buttons->addWidget(Del2);
    buttons->addWidget(CmdCL);
    buttons->addStretch();
    buttons->addWidget(cmdEnc);

    auto* layout = new QGridLayout(this);
    layout->setVerticalSpacing(4);
    layout->addWidget(Label4, 0, 0);
    layout->addWidget(IFN, 1, 0);
    layout->addWidget(Frame1, 2, 0);
    layout->addLayout(buttons, 1, 1, 2, 1);
    layout->addLayout(progressRow(Prg1, cmdCancel), 3, 0, 1, 2);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(0, 1);
}

}  // namespace dozo
