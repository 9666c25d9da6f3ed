#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace dozo {

// Code page 932 bytes for `text`, or nullopt when some character has none
// (or would not come back as typed): textcodec's encoder, on Qt's strings.
std::optional<QByteArray> toCodePage932(const QString& text);

}  // namespace dozo
