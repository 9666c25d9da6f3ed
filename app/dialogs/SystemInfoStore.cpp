#include "app/dialogs/SystemInfoStore.h"

#include "app/dialogs/SysInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace dozo {

QStringList SystemInfoStore::candidates() {
    return {QStringLiteral("hardinfo2"),           QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),         QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor"), QStringLiteral("plasma-systemmonitor"),
            QStringLiteral("xfce4-taskmanager"),   QStringLiteral("lxtask")};
}

QString SystemInfoStore::findProgram(const QString& path) {
    const QStringList folders = path.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& name : candidates()) {
        for (const QString& folder : folders) {
            if (QDir::isRelativePath(folder)) continue;
            const QFileInfo file(QDir(folder).filePath(name));
            if (file.isFile() && file.isExecutable()) return file.absoluteFilePath();
        }
    }
    return {};
}

std::optional<KeyValueStore::Value> SystemInfoStore::read(std::uint32_t root, const QString& key,
                                                          const QString& valueName) const {
    if (root != kLocalMachine || key.compare(QLatin1String(kMsInfoKey), Qt::CaseInsensitive) != 0 ||
        valueName.compare(QLatin1String(kMsInfoPathValue), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QString program = findProgram(qEnvironmentVariable("PATH"));
    if (program.isEmpty()) return std::nullopt;
    // Stored as a text value is: file-system bytes with the closing NUL.
    return Value{kString, QFile::encodeName(program) + '\0'};
}

}  // namespace dozo
