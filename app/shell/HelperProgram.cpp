#include "app/shell/HelperProgram.h"

#include "core/startup/Programs.h"

namespace dozo {

QString findHelperProgram(const QStringList& names, const QString& searchPath) {
    for (const QString& name : names) {
        if (QString found = findProgram(name, searchPath); !found.isEmpty()) return found;
    }
    return {};
}

QString findHelperProgram(const QStringList& names) {
    return findHelperProgram(names, qEnvironmentVariable("PATH"));
}

}  // namespace dozo
