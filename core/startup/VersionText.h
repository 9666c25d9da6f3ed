#pragma once

#include <QString>
#include <cstdint>

namespace dozo {

// A version number in hundredths written as "0.00": 111 -> "1.11", 5 -> "0.05".
QString versionText(std::int32_t hundredths);

// "<title> V<major>.<minor as 00>", e.g. "Vuvurazir V2.20".
QString windowCaption(const QString& title, int major, int minor);

}  // namespace dozo
