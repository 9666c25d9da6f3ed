#pragma once

#include <QByteArray>
#include <QString>

namespace dozo {

// A name as the program shows it, in a list, a message or on a terminal:
// control characters and bytes that are not UTF-8 escaped as "\xNN" (a
// backslash doubled), so that no name passes for another or draws as two.
// The archiver's listing shows names the same way.
QString shownName(const QByteArray& name);
QString shownName(const QString& name);

}  // namespace dozo
