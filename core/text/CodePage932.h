#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace dozo {

// `text` in code page 932, or nullopt when it holds a character that code
// page 932 has no code for. Never substitutes: a key converted with a
// replacement character would encrypt with a key the user did not type.
std::optional<QByteArray> toCodePage932(const QString& text);

}  // namespace dozo
