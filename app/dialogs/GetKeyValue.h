#pragma once

#include "app/dialogs/KeyValueStore.h"

#include <QString>
#include <cstdint>

namespace dozo {

// Reads one value into `keyValue`. A text value is returned as it is; a
// 32-bit number as "&h" and the hex digits of its bytes, most significant
// first, each without leading zeros; any other type leaves `keyValue` as the
// caller passed it. false, with `keyValue` emptied, when the value cannot be
// read.
bool GetKeyValue(const KeyValueStore& store, std::uint32_t rootKey, const QString& keyName,
                 const QString& valueName, QString& keyValue);

}  // namespace dozo
