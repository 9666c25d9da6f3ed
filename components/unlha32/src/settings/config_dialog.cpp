// The whole of libunlha32_settings.so: the settings dialog and its one export.

#include "settings/config_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QMessageBox>
#include <QThread>
#include <QVBoxLayout>

#include <type_traits>

#include "settings/settings.h"
#include "unlha32.h"

namespace unlha32 {
namespace {

int runDialog() {
    Settings settings = loadSettings();

    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName("UnlhaConfigDialog");
    dialog.setWindowTitle(QStringLiteral("UNLHA32.DLLの設定"));

    auto* method = new QComboBox(&dialog);
    method->setObjectName("method");
    method->addItem(QStringLiteral("-lh5-"), int(Compression::lh5));
    method->addItem(QStringLiteral("-lh6-"), int(Compression::lh6));
    method->addItem(QStringLiteral("-lh7-"), int(Compression::lh7));
    method->setCurrentIndex(method->findData(int(settings.method)));

    auto* level = new QComboBox(&dialog);
    level->setObjectName("level");
    level->addItem(QStringLiteral("標準"), int(Level::normal));
    level->addItem(QStringLiteral("最大"), int(Level::max));
    level->setCurrentIndex(level->findData(int(settings.level)));

    auto* overwrite = new QCheckBox(QStringLiteral("展開時に既存のファイルを上書きする"), &dialog);
    overwrite->setObjectName("overwrite");
    overwrite->setChecked(settings.overwrite);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->setObjectName("buttons");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("圧縮方式:"), method);
    form->addRow(QStringLiteral("圧縮レベル:"), level);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(overwrite);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) return UNLHA_CANCELLED;

    settings.method = static_cast<Compression>(method->currentData().toInt());
    settings.level = static_cast<Level>(level->currentData().toInt());
    settings.overwrite = overwrite->isChecked();
    std::string reason;
    if (!saveSettings(settings, reason)) {
        QMessageBox::critical(nullptr, dialog.windowTitle(), QString::fromStdString(reason));
        return UNLHA_ERROR_SETTINGS;
    }
    return UNLHA_OK;
}

int showDialog() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) return UNLHA_ERROR_NO_GUI;
    if (QThread::currentThread() == app->thread()) return runDialog();
    // Widgets live on the GUI thread only; a caller running us on a worker
    // waits there while the GUI thread shows the dialog.
    int result = UNLHA_ERROR_INTERNAL;
    QMetaObject::invokeMethod(
        app, [&result] { result = runDialog(); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace
}  // namespace unlha32

extern "C" UNLHA_API int UnlhaSettingsDialog() {
    static_assert(std::is_same_v<decltype(UnlhaSettingsDialog), unlha32::DialogEntry>);
    try {
        return unlha32::showDialog();
    } catch (...) {
        return UNLHA_ERROR_INTERNAL;
    }
}
