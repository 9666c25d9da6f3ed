#include "settings/settings.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "dozo/fileio/io.h"
#include "dozo/fileio/replacement.h"

namespace unlha32 {
namespace {

// Empty when unknown (no HOME, no entry in the user database), which puts the
// settings under /, as Qt puts its own folders: never the current folder,
// where settings found in whatever folder a run starts in (an unpacked
// download) would decide whether extraction replaces files.
std::string homeDirectory() {
    if (const char* home = ::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
        return pw->pw_dir;
    return {};
}

std::string configHome() {
    // A relative XDG_CONFIG_HOME is invalid by the base directory rules.
    if (const char* xdg = ::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') return xdg;
    return homeDirectory() + "/.config";
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// Far more than the file we write; what lies beyond is not read.
constexpr std::size_t kSettingsLimit = 64 * 1024;

// The file's text, read by every pack and extraction: only a regular file,
// and at most its first kSettingsLimit bytes. Opening a FIFO (or a device)
// found there would wait for a writer, and reading one linked to /dev/zero,
// or a huge file, line by line would fill memory, on every call.
std::string settingsText() {
    const dozo::fileio::Fd fd(
        ::open(settingsPath().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    std::string text(kSettingsLimit, '\0');
    const ssize_t n = dozo::fileio::readFully(fd.get(), text.data(), text.size());
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    // A line the limit cuts is not taken: "method=lh7" may be the start of
    // another value.
    if (text.size() == kSettingsLimit) text.resize(text.rfind('\n') + 1);
    return text;
}

bool makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

// Whether `path` is the writing user's own: missing (so made by this user),
// or belonging to this user, and for a link what it leads to as well. Run as
// root with another user's HOME (sudo -E), the settings folder is that user's,
// and a link planted in it would have root replace whatever it points at.
bool belongsToCaller(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (st.st_uid != ::geteuid()) return false;
    if (!S_ISLNK(st.st_mode)) return true;
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
    return st.st_uid == ::geteuid();
}

}  // namespace

const char* methodName(Compression method) {
    switch (method) {
        case Compression::lh6:
            return "lh6";
        case Compression::lh7:
            return "lh7";
        case Compression::lh5:
            break;
    }
    return "lh5";
}

const char* levelName(Level level) {
    return level == Level::max ? "max" : "normal";
}

std::string settingsPath() {
    return configHome() + "/dozo/unlha32.conf";
}

Settings loadSettings() {
    Settings settings;
    std::istringstream in(settingsText());
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        if (key == "method") {
            if (value == "lh5") settings.method = Compression::lh5;
            if (value == "lh6") settings.method = Compression::lh6;
            if (value == "lh7") settings.method = Compression::lh7;
        } else if (key == "level") {
            if (value == "normal") settings.level = Level::normal;
            if (value == "max") settings.level = Level::max;
        } else if (key == "overwrite") {
            if (value == "true" || value == "1") settings.overwrite = true;
            if (value == "false" || value == "0") settings.overwrite = false;
        }
    }
    return settings;
}

bool saveSettings(const Settings& settings, std::string& reason) {
    const std::string path = settingsPath();
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!makeDirectories(folder)) {
        reason = "設定フォルダーを作れません: " + path;
        return false;
    }
    // The folder first: in a folder of the user's own, nobody else can swap
    // the file between this check and the write.
    if (!belongsToCaller(folder) || !belongsToCaller(path)) {
        reason = "設定ファイルを書けません: " + path;
        return false;
    }
    const std::string text = std::string("# UNLHA32 settings\nmethod=") +
                             methodName(settings.method) + "\nlevel=" + levelName(settings.level) +
                             "\noverwrite=" + (settings.overwrite ? "true" : "false") + "\n";
    dozo::fileio::Replacement file;
    dozo::fileio::Status status = file.open(path.c_str());
    if (status == dozo::fileio::Status::ok) status = file.write(text.data(), text.size());
    if (status == dozo::fileio::Status::ok) status = file.commit();
    if (status != dozo::fileio::Status::ok) {
        reason = "設定ファイルを書けません: " + path + " (" + dozo::fileio::describe(status) + ")";
        return false;
    }
    return true;
}

}  // namespace unlha32
