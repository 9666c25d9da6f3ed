#include "core/jobs/HeldListFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace dozo {

HeldListFile::HeldListFile(const QString& path, const JobControl* control) {
    const QByteArray name = QFile::encodeName(path);
    for (bool madeFolder = false;;) {
        m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        // The folder goes with the list of a pack that ended well.
        if (m_fd < 0 && errno == ENOENT && !madeFolder) {
            madeFolder = QDir().mkpath(QFileInfo(path).path());
            if (madeFolder) continue;
        }
        // Unlocked: the write that follows says what is wrong with the path.
        if (m_fd < 0) return;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            // A file system without locks only loses the wait.
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            if (control && control->cancelled()) {
                m_cancelled = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // The pack that held it may have removed it since: lock the file
        // the path names now.
        struct stat held {
        }, now{};
        if (::fstat(m_fd, &held) == 0 && ::stat(name.constData(), &now) == 0 &&
            held.st_dev == now.st_dev && held.st_ino == now.st_ino)
            return;
        ::close(m_fd);
    }
}

HeldListFile::~HeldListFile() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace dozo
