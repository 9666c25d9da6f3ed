#include "core/startup/WorkDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <dozo/fileio/placement.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>

namespace dozo {

namespace {

// A real folder (not a link to one) that belongs to this user.
bool isOwnFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

}  // namespace

// Nothing but this process's own work goes into it: it is removed whole.
struct WorkDirectory::PrivateFolder {
    explicit PrivateFolder(QString folder) : path(std::move(folder)) {}
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder() { QDir(path).removeRecursively(); }
    const QString path;
};

WorkDirectory WorkDirectory::forUser() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QByteArray encoded = QFile::encodeName(cache);
    // A relative XDG_CACHE_HOME is invalid by the base directory rules; taken
    // as it is, it made a folder in whatever folder each run started in.
    const bool absolute = QDir::isAbsolutePath(cache);
    if (absolute) {
        QDir().mkpath(QFileInfo(cache).path());
        ::mkdir(encoded.constData(), 0700);
    }
    if (absolute && isOwnFolder(encoded)) {
        ::chmod(encoded.constData(), 0700);
        const int folder = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            fileio::sweepLeftovers(folder);
            ::close(folder);
        }
        return WorkDirectory(cache);
    }
    QByteArray private_ = QFile::encodeName(QDir::tempPath()) + "/dozo-XXXXXX";
    if (::mkdtemp(private_.data()) == nullptr) return WorkDirectory(cache);
    WorkDirectory work(QFile::decodeName(private_));
    work.m_private = std::make_shared<const PrivateFolder>(work.m_path);
    return work;
}

WorkDirectory::WorkDirectory(const QString& folder) : m_path(QDir::cleanPath(folder)) {}

QString WorkDirectory::workFile() const {
    return m_path + QStringLiteral("/Temp.$$$");
}

QList<QByteArray> WorkDirectory::workFiles(int count) const {
    QList<QByteArray> files{QFile::encodeName(workFile())};
    for (int worker = 1; worker < count; ++worker) {
        const std::string name = fileio::scratchName("Temp" + std::to_string(worker) + ".$$$");
        files.append(QFile::encodeName(m_path) + '/' + QByteArray::fromStdString(name));
    }
    return files;
}

void WorkDirectory::markWorkFile(const QByteArray& workFile) {
    // The library removes its work file when a call ends, and makes it anew
    // unmarked for the next: the mark must be there before each call.
    (void)fileio::markScratch(workFile.constData());
}

QString WorkDirectory::runListFile() const {
    const QByteArray path =
        QFile::encodeName(m_path) + '/' + QByteArray::fromStdString(fileio::scratchName("LPF.tmp"));
    return fileio::markScratch(path.constData()) == 0 ? QFile::decodeName(path) : QString();
}

QString WorkDirectory::listFolder() const {
    return m_path + QStringLiteral("/TMP");
}

QString WorkDirectory::listFile() const {
    return listFolder() + QStringLiteral("/LPF.tmp");
}

}  // namespace dozo
