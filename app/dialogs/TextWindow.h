#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <QString>

namespace dozo {

// A read-only window of plain text (the Read Me, the notices): one per
// `slot`, reused while it is open, deleted when closed. With a parent it
// closes with that window, opens centred on it and within its screen, and
// gives it the focus back when closed (Escape and Ctrl+W close it).
QPlainTextEdit* showTextWindow(QPointer<QPlainTextEdit>& slot, QWidget* parent,
                               const QString& objectName, const QString& title,
                               const QString& text);

}  // namespace dozo
