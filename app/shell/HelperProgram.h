#pragma once

#include <QString>
#include <QStringList>

namespace dozo {

// The first of `names` (in that order of preference) that is an executable
// regular file in a folder of `searchPath`, a PATH-style list; empty when
// there is none. Only absolute folders are searched: an empty or relative
// entry would let the current folder supply the program.
QString findHelperProgram(const QStringList& names, const QString& searchPath);

// The same over the PATH of the environment.
QString findHelperProgram(const QStringList& names);

}  // namespace dozo
