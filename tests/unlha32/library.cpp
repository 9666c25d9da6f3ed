#include "library.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <stdexcept>

#include "loaded_library.h"

namespace unlhatest {

namespace {
const dozo::test::Library& loaded() {
    static const dozo::test::Library so("libunlha32.so");
    return so;
}
}  // namespace

std::string libraryPath() {
    return loaded().path();
}

const Library& library() {
    static const Library lib = [] {
        Library l{};
        try {
            const dozo::test::Library& so = loaded();
            l.getVersion = so.get<int()>("UnlhaGetVersion");
            l.unlha = so.get<int(void*, const char*, char*, unsigned long)>("Unlha");
            l.checkArchive = so.get<int(const char*, int)>("UnlhaCheckArchive");
            l.configDialog = so.get<int(void*, char*, int)>("UnlhaConfigDialog");
            l.setProgress =
                so.get<void(int (*)(void*, long long, long long, long long, long long), void*)>(
                    "UnlhaSetProgress");
            l.setFailureReport = so.get<void(void (*)(void*, int, int, const char*, int), void*)>(
                "UnlhaSetFailureReport");
        } catch (const std::exception& e) {
            ADD_FAILURE() << "libunlha32.so not loaded: " << e.what();
        }
        return l;
    }();
    if (lib.unlha == nullptr) std::abort();
    return lib;
}

Result run(const std::string& commandLine) {
    char output[1024];
    std::fill(std::begin(output), std::end(output), 'X');
    const int code = library().unlha(nullptr, commandLine.c_str(), output, sizeof output);
    return {code, std::string(output, ::strnlen(output, sizeof output))};
}

std::string arg(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

ConfigHome::ConfigHome() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
}

ConfigHome::~ConfigHome() {
    if (hadPrevious_)
        ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

void ConfigHome::write(const std::string& text) const {
    fs::create_directories(settingsFile().parent_path());
    writeText(settingsFile(), text);
}

void writeText(const fs::path& path, const std::string& text) {
    writeBytes(path, Bytes(text.begin(), text.end()));
}

Bytes sampleText(std::size_t size, unsigned seed) {
    static const char* words[] = {"archive ", "folder ", "書庫 ",  "the ",  "data\r\n",
                                  "展開 ",    "lorem ",  "ipsum ", "0123 ", "zz "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        const std::string w = words[rng() % 10];
        out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(size);
    return out;
}

void setMtime(const fs::path& path, std::int64_t seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

std::int64_t mtimeOf(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return st.st_mtim.tv_sec;
}

std::vector<std::string> listTree(const fs::path& root) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        std::string rel = fs::relative(it->path(), root).string();
        if (it->is_directory() && !it->is_symlink()) rel += "/";
        out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int jlhaPack(const fs::path& folder, const fs::path& archive, const std::string& options,
             const std::string& names) {
    return shell("cd " + arg(folder) + " && jlha " + options + " " + arg(archive) + " " + names +
                 " >/dev/null 2>&1");
}

std::string jlhaOptions(int level, char method) {
    return "-c" + std::to_string(level) +
           (method == '0' ? std::string("z") : std::string("o") + method);
}

std::string firstMethod(const fs::path& archive) {
    const Bytes bytes = readBytes(archive);
    return bytes.size() < 8 ? "" : std::string(bytes.begin() + 2, bytes.begin() + 7);
}

std::string tracedCommand(const std::string& straceOptions, const std::string& commandLine,
                          const std::string& traceFile, unsigned long outputSize) {
    // LeakSanitizer cannot run under ptrace: sanitizer builds trace without it.
    return "strace -E ASAN_OPTIONS=detect_leaks=0 -f -o " + arg(traceFile) + " " + straceOptions +
           " " + arg(dozo::test::inBuildTree(UNLHA32_CALL)) + " " + arg(libraryPath()) + " '" +
           commandLine + "' " + std::to_string(outputSize);
}

namespace {

// The shell command's standard output, standard error and exit status.
Child capture(const std::string& command) {
    Child child{-1, {}, {}};
    TempDir scratch;
    const fs::path errors = scratch / "stderr";
    FILE* pipe = ::popen((command + " 2>" + arg(errors)).c_str(), "r");
    if (pipe == nullptr) return child;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) child.output += buffer;
    const int status = ::pclose(pipe);
    child.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    child.errors = readText(errors);
    return child;
}

}  // namespace

Child runTraced(const std::string& straceOptions, const std::string& commandLine,
                unsigned long outputSize) {
    return capture(tracedCommand(straceOptions, commandLine, "/dev/null", outputSize));
}

Child runAlone(const std::string& commandLine, const Alone& how) {
    std::string command = how.environment + " " + arg(dozo::test::inBuildTree(UNLHA32_CALL)) + " " +
                          arg(how.library.empty() ? libraryPath() : how.library) + " '" +
                          commandLine + "' " + std::to_string(how.outputSize);
    if (!how.mapsFile.empty()) command += " " + arg(how.mapsFile);
    return capture(command);
}

bool straceCanInject(const fs::path& scratch) {
    // cat must fail when its first read of the file fails.
    writeText(scratch, "probe");
    return shell("strace -f -o /dev/null -e inject=read:error=EIO:when=1 -P " + arg(scratch) +
                 " cat " + arg(scratch) + " >/dev/null 2>&1") == 1;
}

}  // namespace unlhatest
