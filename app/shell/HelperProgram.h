#pragma once

#include <QString>
#include <QStringList>

namespace dozo {

// The first of `names` (in that order of preference) that core's
// findProgram() finds in `searchPath`, a PATH-style list (absolute folders
// only); empty when there is none.
QString findHelperProgram(const QStringList& names, const QString& searchPath);

// The same over the PATH of the environment.
QString findHelperProgram(const QStringList& names);

}  // namespace dozo
