#pragma once

#include <QString>

namespace dozo {

// Turns a filter of "text|pattern|text|pattern..." pairs into a Qt name filter
// list ("text (patterns);;..."). "*.*" becomes "*": on Linux "*.*" would hide
// every file without a dot in its name, which "all files" must not do.
QString toQtFilter(const QString& pairedFilter);

}  // namespace dozo
