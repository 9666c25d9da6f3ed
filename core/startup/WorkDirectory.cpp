#include "core/startup/WorkDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <dozo/fileio/placement.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

namespace dozo {

namespace {

constexpr const char* kWorkFileName = "Temp.$$$";

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
            fileio::removeLeftoverWorkFile(folder, kWorkFileName);
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
    return m_path + QLatin1Char('/') + QLatin1String(kWorkFileName);
}

QList<QByteArray> WorkDirectory::workFiles(int count) const {
    QList<QByteArray> files{QFile::encodeName(workFile())};
    for (int worker = 1; worker < count; ++worker) {
        const std::string name = fileio::scratchName("Temp" + std::to_string(worker) + ".$$$");
        files.append(QFile::encodeName(m_path) + '/' + QByteArray::fromStdString(name));
    }
    return files;
}

QByteArray WorkDirectory::markWorkFile(const QByteArray& workFile) {
    if (fileio::markScratch(workFile.constData()) != EINVAL) return workFile;
    // Not a scratch name: the one of a fixed name. An error other than a
    // file that is not ours is the library's to report.
    if (fileio::markWorkFile(workFile.constData()) != EEXIST) return workFile;
    const qsizetype slash = workFile.lastIndexOf('/');
    const QByteArray beside =
        workFile.left(slash + 1) +
        QByteArray::fromStdString(fileio::scratchName(workFile.mid(slash + 1).toStdString()));
    (void)fileio::markScratch(beside.constData());
    return beside;
}

void WorkDirectory::releaseWorkFile(const QByteArray& workFile) {
    struct stat st {};
    if (::lstat(workFile.constData(), &st) != 0) return;
    const qsizetype slash = workFile.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : workFile.left(slash > 0 ? slash : 1);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    const QByteArray name = workFile.mid(slash + 1);
    fileio::removeLeftoverWorkFile(fd, std::string_view(name.constData(), name.size()));
    ::close(fd);
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
