#include "app/shell/HelperProgram.h"

#include <QDir>
#include <QFileInfo>

namespace dozo {

QString findHelperProgram(const QStringList& names, const QString& searchPath) {
    const QStringList folders = searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        for (const QString& folder : folders) {
            if (QDir::isRelativePath(folder)) continue;
            const QFileInfo file(QDir(folder).filePath(name));
            if (file.isFile() && file.isExecutable()) return file.absoluteFilePath();
        }
    }
    return {};
}

QString findHelperProgram(const QStringList& names) {
    return findHelperProgram(names, qEnvironmentVariable("PATH"));
}

}  // namespace dozo
