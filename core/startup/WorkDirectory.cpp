#include "core/startup/WorkDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace dozo {

namespace {

// A real folder (not a link to one) that belongs to this user.
bool isOwnFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

}  // namespace

WorkDirectory WorkDirectory::forUser() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QByteArray encoded = QFile::encodeName(cache);
    QDir().mkpath(QFileInfo(cache).path());
    ::mkdir(encoded.constData(), 0700);
    if (isOwnFolder(encoded)) {
        ::chmod(encoded.constData(), 0700);
        return WorkDirectory(cache);
    }
    QByteArray private_ = QFile::encodeName(QDir::tempPath()) + "/dozo-XXXXXX";
    if (::mkdtemp(private_.data()) != nullptr) return WorkDirectory(QFile::decodeName(private_));
    return WorkDirectory(cache);
}

WorkDirectory::WorkDirectory(const QString& folder) : m_path(QDir::cleanPath(folder)) {}

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
