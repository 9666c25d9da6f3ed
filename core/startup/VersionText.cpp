#include "core/startup/VersionText.h"

#include <cstdlib>

namespace dozo {

QString versionText(std::int32_t hundredths) {
    // Widen first: the magnitude of INT32_MIN does not fit in 32 bits.
    const std::int64_t value = hundredths;
    const std::int64_t magnitude = std::llabs(value);
    return QStringLiteral("%1%2.%3")
        .arg(value < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QString windowCaption(const QString& title, int major, int minor) {
    return QStringLiteral("%1 V%2.%3").arg(title).arg(major).arg(minor, 2, 10, QLatin1Char('0'));
}

}  // namespace dozo
