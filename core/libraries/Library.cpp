#include "core/libraries/Library.h"

#include "core/text/Language.h"

#include <dozo/fileio/io.h>
#include <dozo/fileio/loadable.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>

namespace dozo {

Library::Library(QString name, QStringList searchFolders)
    : m_name(std::move(name)), m_searchFolders(std::move(searchFolders)) {}

// The library stays mapped until the program ends: code of a component can
// outlive its binding (a settings dialog it created, a handler it installed
// with Qt), and unmapping that code under a live object would crash.
Library::~Library() = default;

QString Library::fileNameFor(const QString& name) {
    return QStringLiteral("lib%1.so").arg(name);
}

bool Library::isLoaded() const {
    std::lock_guard lock(m_mutex);
    return m_handle != nullptr;
}

QString Library::loadedPath() const {
    std::lock_guard lock(m_mutex);
    return m_loadedPath;
}

QString Library::errorText() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

bool Library::isMissing() const {
    std::lock_guard lock(m_mutex);
    return m_missing;
}

void Library::fail(const QString& reason) {
    m_error = reason;
}

bool Library::loadLocked() {
    if (m_handle) return true;
    if (m_loadTried) return false;
    m_loadTried = true;

    // Only a file in one of our own folders, by its absolute path: the
    // loader's search for a bare name takes LD_LIBRARY_PATH, where an empty
    // entry is the current folder, and would hand a password to whatever
    // librivo.so lies there.
    const QString file = fileName();
    QString target;
    for (const QString& folder : m_searchFolders) {
        if (folder.isEmpty() || QDir::isRelativePath(folder)) continue;
        const QFileInfo candidate(QDir(folder).filePath(file));
        if (candidate.isFile()) {
            target = candidate.absoluteFilePath();
            break;
        }
    }
    if (target.isEmpty()) {
        m_missing = true;
        fail(say("%1 がありません（検索先: %2）", "%1 cannot be loaded: it is in none of %2")
                 .arg(file, m_searchFolders.join(QStringLiteral(", "))));
        return false;
    }

    // Mapped, a library cut short would kill the program on first touch.
    const fileio::Fd opened(::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC));
    std::uint64_t size = 0;
    if (const std::uint64_t needed = fileio::cutShortAt(opened.get(), size); needed != 0) {
        fail(say("%1 を読み込めません: 途中で切れています（%2 バイト、必要なのは %3 バイト以上）",
                 "%1 cannot be loaded: it is cut short (%2 bytes of at least %3)")
                 .arg(target)
                 .arg(size)
                 .arg(needed));
        return false;
    }

    dlerror();
    // RTLD_NOW: a library with unresolved references is refused here, at
    // binding time, instead of failing in the middle of a run.
    m_handle = dlopen(QFile::encodeName(target).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        fail(say("%1 を読み込めません: %2", "%1 cannot be loaded: %2")
                 .arg(target, why ? QString::fromLocal8Bit(why) : QStringLiteral("?")));
        return false;
    }
    m_loadedPath = target;
    return true;
}

void* Library::symbol(const char* exportName, bool required) {
    std::lock_guard lock(m_mutex);
    const QByteArray key(exportName);
    if (auto it = m_symbols.constFind(key); it != m_symbols.constEnd()) return it.value();
    if (!loadLocked()) return nullptr;
    dlerror();
    void* address = dlsym(m_handle, exportName);
    if (!address && required) {
        fail(say("%1 には %2 がありません", "%1 lacks the export %2")
                 .arg(m_loadedPath, QString::fromLatin1(key)));
    }
    m_symbols.insert(key, address);
    return address;
}

}  // namespace dozo
