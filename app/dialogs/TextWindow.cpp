#include "app/dialogs/TextWindow.h"

#include <QFontDatabase>

namespace dozo {

QPlainTextEdit* showTextWindow(QPointer<QPlainTextEdit>& slot, QWidget* parent,
                               const QString& objectName, const QString& title,
                               const QString& text) {
    if (!slot) {
        slot = new QPlainTextEdit(parent);
        slot->setObjectName(objectName);
        slot->setWindowFlag(Qt::Window);
        slot->setAttribute(Qt::WA_DeleteOnClose);
        slot->setReadOnly(true);
        // The texts are laid out in columns for a terminal.
        slot->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        slot->resize(660, 480);
    }
    slot->setWindowTitle(title);
    slot->setPlainText(text);
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

}  // namespace dozo
