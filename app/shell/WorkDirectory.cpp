#include "WorkDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace dozo {

WorkDirectory::WorkDirectory(const QString& applicationDir) {
    const QFileInfo app(applicationDir);
    if (app.isDir() && app.isWritable()) {
        m_path = QDir::cleanPath(app.absoluteFilePath());
        return;
    }
    m_path = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(m_path);
}

QString WorkDirectory::workFile() const {
    return m_path + QStringLiteral("/Temp.$$$");
}

QString WorkDirectory::listFolder() const {
    return m_path + QStringLiteral("/TMP");
}

QString WorkDirectory::listFile() const {
    return listFolder() + QStringLiteral("/LPF.tmp");
}

}  // namespace dozo
