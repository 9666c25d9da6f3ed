#include "app/panels/KeyedPanel.h"

#include "app/panels/FileDropFilter.h"
#include "app/panels/FileListCommands.h"
#include "app/panels/PanelControls.h"
#include "core/jobs/InPlaceJob.h"
#include "core/jobs/VovKey.h"
#include "core/startup/AppInfo.h"

#include <dozo/contracts/vod32.h>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QItemSelection>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>

namespace dozo {

using panel_controls::buddyLabel;
using panel_controls::maskSecret;
using panel_controls::named;

KeyedPanel::KeyedPanel(ShellContext& shell, QWidget* parent) : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("KeyedPanel"));
    createControls();
    connectCommands();
}

void KeyedPanel::connectCommands() {
    connect(cmdVovAdd, &QPushButton::clicked, this, &KeyedPanel::cmdVovAdd_Click);
    connect(cmdVovDel, &QPushButton::clicked, this, &KeyedPanel::cmdVovDel_Click);
    connect(cmdVovClear, &QPushButton::clicked, this, &KeyedPanel::cmdVovClear_Click);
    connect(cmdVovEnc, &QPushButton::clicked, this, &KeyedPanel::cmdVovEnc_Click);
    connect(VovTypeGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) VovType_Click(id);
    });
    FileDropFilter::install(lstVov, [this](const FileDropFilter::Dropped& files) {
        lstVov_OLEDragDrop(files.paths, files.unnamed);
    });
    FileListCommands::showNamesEscaped(lstVov);
    FileListCommands::addContextMenu(lstVov,
                                     {[this] { cmdVovAdd_Click(); }, [this] { cmdVovDel_Click(); },
                                      [this] { cmdVovClear_Click(); }});
}

void KeyedPanel::cmdVovAdd_Click() {
    FileListCommands::add(m_shell.ui(), lstVov);
}

void KeyedPanel::cmdVovDel_Click() {
    FileListCommands::removeSelected(lstVov);
}

void KeyedPanel::cmdVovClear_Click() {
    FileListCommands::clear(m_shell.ui(), lstVov);
}

void KeyedPanel::VovType_Click(int index) {
    m_shell.state().ETVov = static_cast<std::uint8_t>(index);
}

void KeyedPanel::lstVov_OLEDragDrop(const QStringList& paths, const QStringList& unnamed) {
    const QList<QListWidgetItem*> added =
        FileListCommands::addDropped(m_shell.ui(), lstVov, paths, unnamed);
    if (added.isEmpty()) return;
    // One pass over the list and one selection change, however many files a
    // folder gave: a search and a change per entry froze the window for
    // seconds on a drop of some thousand files.
    QHash<QString, int> firstRow;
    // From the end, so that the first entry of a text is the one kept.
    for (int row = lstVov->count() - 1; row >= 0; --row)
        firstRow.insert(lstVov->item(row)->text(), row);
    QList<int> rows;
    rows.reserve(added.size());
    for (const QListWidgetItem* item : added) rows.append(firstRow.value(item->text()));
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    const QAbstractItemModel* model = lstVov->model();
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype last = i;
        while (last + 1 < rows.size() && rows[last + 1] <= rows[last] + 1) ++last;
        selection.select(model->index(rows[i], 0), model->index(rows[last], 0));
        i = last + 1;
    }
    lstVov->selectionModel()->select(selection, QItemSelectionModel::Select);
}

void KeyedPanel::cmdVovEnc_Click() {
    if (m_shell.longRun().busy()) return;
    // An empty box gets its initial key back and that is the key of the run;
    // a key of spaces is a key like any other.
    if (txtKey->text().isEmpty()) txtKey->setText(QString::fromLatin1(kDefaultKey));
    QString refusal;
    std::optional<QByteArray> key = VovKey::encode(txtKey->text(), &refusal);
    // Typed where it could not be seen, the key is typed again, as dozo-cli
    // asks on a terminal; the key the box starts with needs no second entry.
    const bool confirm = key && txtKey->echoMode() != QLineEdit::Normal &&
                         txtKey->text() != QLatin1String(kDefaultKey);
    if (confirm) {
        const std::optional<QString> again = m_shell.ui().askSecret(
            QStringLiteral("確認のため、暗号化キーをもう一度入力してください："),
            QString::fromLatin1(kAppTitle));
        if (!again) return;
        if (!VovKey::confirmed(txtKey->text(), *again, &refusal)) key.reset();
    }
    if (!key) {
        m_shell.ui().messageBox(refusal, QString::fromLatin1(kAppTitle), UiServices::Buttons::Ok,
                                UiServices::Icon::Error);
        return;
    }

    FileListCommands::run(
        m_shell, lstVov, VovPrg, VovCancel,
        InPlaceJob::keyed(m_shell.libraries().vod32(), m_shell.state().ETVov, *key));
}

void KeyedPanel::setLibraryPresent(bool present) {
    Frame2->setEnabled(present);
}

void KeyedPanel::createControls() {
    lstVov = named(new QListWidget(this), "lstVov");
    lstVov->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Label5 = buddyLabel("Label5", QStringLiteral("対象ファイル(&T)："), lstVov, this);

    Frame2 = named(new QGroupBox(QStringLiteral("暗号/復号化形式"), this), "Frame2");
    Picture2 = named(new QWidget(Frame2), "Picture2");
    VovTypeGroup = named(new QButtonGroup(this), "VovTypeGroup");
    VovType[0] = named(new QRadioButton(QStringLiteral("VovBC&MKC"), Picture2), "VovType_0");
    VovType[0]->setToolTip(QStringLiteral("Rudadu算術式暗号化"));
    VovType[0]->setChecked(true);
    VovTypeGroup->addButton(VovType[0], 0);
    auto* options = new QVBoxLayout(Picture2);
    options->setContentsMargins(0, 0, 0, 0);
    options->addWidget(VovType[0]);
    auto* frameLayout = new QVBoxLayout(Frame2);
    frameLayout->setContentsMargins(6, 2, 6, 4);
    frameLayout->addWidget(Picture2);

    cmdVovAdd = named(new QPushButton(QStringLiteral("参照(&B)..."), this), "cmdVovAdd");
    cmdVovAdd->setToolTip(QStringLiteral("暗号化するファイルをダイアログから選択します。"));
    cmdVovDel = named(new QPushButton(QStringLiteral("解除(&E)"), this), "cmdVovDel");
    cmdVovClear = named(new QPushButton(QStringLiteral("クリア(&L)"), this), "cmdVovClear");
    cmdVovClear->setToolTip(QStringLiteral("リスト内の全項目を削除します"));
    txtKey = named(new QLineEdit(QString::fromLatin1(kDefaultKey), this), "txtKey");
    txtKey->setMaxLength(kKeyMaxLength);
    // A dropped file's name is no key.
    txtKey->setAcceptDrops(false);
    maskSecret(txtKey, "txtKeyShow");
    Label6 = buddyLabel("Label6", QStringLiteral("暗号化キー(&K)："), txtKey, this);
    cmdVovEnc = named(new QPushButton(QStringLiteral("処理開始(&S)..."), this), "cmdVovEnc");
    cmdVovEnc->setToolTip(QStringLiteral("暗号化処理を開始します"));
    VovPrg = panel_controls::progressBar("VovPrg", this);
    VovCancel = panel_controls::cancelButton("VovCancel", this);

    QWidget* previous = lstVov;
    for (QWidget* next : {static_cast<QWidget*>(VovType[0]), static_cast<QWidget*>(cmdVovAdd),
                          static_cast<QWidget*>(cmdVovDel), static_cast<QWidget*>(cmdVovClear),
                          static_cast<QWidget*>(txtKey), static_cast<QWidget*>(cmdVovEnc)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdVovAdd);
    buttons->addWidget(cmdVovDel);
    buttons->addWidget(cmdVovClear);
    buttons->addStretch();

    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(Label6);
    keyRow->addWidget(txtKey, 1);

    auto* layout = new QGridLayout(this);
    layout->setVerticalSpacing(4);
    layout->addWidget(Label5, 0, 0);
    layout->addWidget(lstVov, 1, 0);
    layout->addWidget(Frame2, 2, 0);
    layout->addLayout(keyRow, 3, 0);
    layout->addLayout(buttons, 1, 1, 2, 1);
    layout->addWidget(cmdVovEnc, 3, 1);
    layout->addLayout(panel_controls::progressRow(VovPrg, VovCancel), 4, 0, 1, 2);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(0, 1);
}

}  // namespace dozo
