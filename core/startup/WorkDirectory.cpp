#include "core/startup/WorkDirectory.h"

#include <QDir>
#include <QFile>
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

QList<QByteArray> WorkDirectory::workFiles(int count) const {
    QList<QByteArray> files{QFile::encodeName(workFile())};
    for (int worker = 1; worker < count; ++worker)
        files.append(QFile::encodeName(m_path + QStringLiteral("/Temp%1.$$$").arg(worker)));
    return files;
}

QString WorkDirectory::listFolder() const {
    return m_path + QStringLiteral("/TMP");
}

QString WorkDirectory::listFile() const {
    return listFolder() + QStringLiteral("/LPF.tmp");
}

}  // namespace dozo
