#include "core/startup/Programs.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace dozo {

QString findProgram(const QString& name, const QString& path) {
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) return {};
    for (const QString& folder : path.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isRelativePath(folder)) continue;
        const QFileInfo file(QDir(folder).filePath(name));
        if (file.isFile() && file.isExecutable()) return file.absoluteFilePath();
    }
    return {};
}

QString findProgram(const QString& name) {
    return findProgram(name, qEnvironmentVariable("PATH"));
}

}  // namespace dozo
