#include "core/libraries/Library.h"

#include <dozo/fileio/io.h>

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace dozo {

namespace {

// Where a part of `size` bytes at `offset` ends, saturated: the fields come
// from the file and may be anything.
std::uint64_t reach(std::uint64_t offset, std::uint64_t size) {
    return offset > UINT64_MAX - size ? UINT64_MAX : offset + size;
}

// The loader maps a library's segments as its program headers describe them,
// whatever the file's size: a library cut short (a copy or an install that
// stopped midway) is mapped past its end, and the first touch of the missing
// part kills the program with SIGBUS before it can say anything. How far the
// furthest part it would map past the end reaches; 0 when every segment
// lies within the file, or when the file is no 64-bit ELF object of ours,
// which the loader itself refuses with a reason.
std::uint64_t cutShortAt(const QString& path, std::uint64_t& fileSize) {
    const fileio::Fd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    fileSize = static_cast<std::uint64_t>(st.st_size);
    Elf64_Ehdr header{};
    if (fileio::readFully(fd.get(), &header, sizeof header, 0) !=
            static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_phentsize != sizeof(Elf64_Phdr))
        return 0;
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    const std::size_t tableSize = segments.size() * sizeof(Elf64_Phdr);
    const std::uint64_t tableEnd = reach(header.e_phoff, tableSize);
    if (tableEnd > fileSize) return tableEnd;
    if (fileio::readFully(fd.get(), segments.data(), tableSize,
                          static_cast<off_t>(header.e_phoff)) != static_cast<ssize_t>(tableSize))
        return tableEnd;
    std::uint64_t furthest = 0;
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_type != PT_LOAD) continue;
        const std::uint64_t end = reach(segment.p_offset, segment.p_filesz);
        if (end > fileSize && end > furthest) furthest = end;
    }
    return furthest;
}

}  // namespace

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

void Library::fail(const QString& reason) {
    m_error = reason;
    std::fprintf(stderr, "dozo: %s\n", reason.toLocal8Bit().constData());
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
        fail(QStringLiteral("%1 cannot be loaded: it is in none of %2")
                 .arg(file, m_searchFolders.join(QStringLiteral(", "))));
        return false;
    }

    std::uint64_t size = 0;
    if (const std::uint64_t needed = cutShortAt(target, size); needed != 0) {
        fail(QStringLiteral("%1 cannot be loaded: it is cut short (%2 bytes of at least %3)")
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
        fail(QStringLiteral("%1 cannot be loaded: %2")
                 .arg(target, why ? QString::fromLocal8Bit(why) : QStringLiteral("unknown error")));
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
        fail(QStringLiteral("%1 lacks the export %2").arg(m_loadedPath, QString::fromLatin1(key)));
    }
    m_symbols.insert(key, address);
    return address;
}

}  // namespace dozo
