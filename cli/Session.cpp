#include "cli/Session.h"

#include "cli/Commands.h"

#include "core/text/Language.h"

#include "core/startup/StartUp.h"

#include <limits.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

namespace dozo::cli {

namespace {

// Where this program lies, links resolved, as the window finds its own folder.
// The kernel's own link is read directly: Qt's way resolves every folder on
// the path again, a noticeable part of a short run's start. Without /proc the
// installed place is assumed, never the current folder, whose libraries are
// not ours to load.
QString applicationDir() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof path))
        return QStringLiteral(DOZO_INSTALL_BINDIR);
    return QFileInfo(QFile::decodeName(QByteArray(path, n))).path();
}

}  // namespace

Session::Session()
    : m_dirs(AppDirectories::resolve(applicationDir())),
      m_libraries(m_dirs),
      m_work(WorkDirectory::forUser()) {
    m_state.SysDir = m_dirs.system;
}

bool Session::hasArchiver() {
    if (!std::exchange(m_archiverLooked, true)) StartUp::findArchiver(m_dirs, m_libraries, m_state);
    return m_state.UNLHAVer != 0;
}

bool Session::hasTransform() {
    if (!std::exchange(m_transformLooked, true))
        StartUp::findTransform(m_dirs, m_libraries, m_state);
    return m_state.RazuEx == kPresent;
}

bool Session::hasKeyed() {
    if (!std::exchange(m_keyedLooked, true)) StartUp::findKeyed(m_dirs, m_libraries, m_state);
    return m_state.VovEx == kPresent;
}

const WindowState& Session::state() {
    hasArchiver();
    hasTransform();
    hasKeyed();
    return m_state;
}

int Session::missingLibrary(Report& report, const char* name) {
    const QLatin1String wanted(name);
    for (const Library* library : {&m_libraries.unlha32(), &m_libraries.rozu32(),
                                   &m_libraries.vod32(), &m_libraries.rivo()}) {
        // A file that is there but cannot be bound is no missing library.
        if (library->name() == wanted && !library->isMissing() && !library->errorText().isEmpty()) {
            report.error(library->errorText());
            return kExitRefused;
        }
    }
    report.error(say("%1 ライブラリが見つかりません（検索先: %2）",
                     "the %1 library was not found (looked in %2)")
                     .arg(wanted, searched()));
    return kExitRefused;
}

QString Session::searched() const {
    return QDir::toNativeSeparators(m_dirs.system) + QStringLiteral(", ") +
           QDir::toNativeSeparators(m_dirs.application);
}

}  // namespace dozo::cli
