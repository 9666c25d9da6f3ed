#include "library.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace unlhatest {

const Library& library() {
    static const Library lib = [] {
        Library l{};
        // The build's own folder when the environment does not name one.
        const char* buildDir = std::getenv("DOZO_BUILD_DIR");
        const std::string path = std::string(buildDir != nullptr ? buildDir : UNLHA32_BUILD_DIR) +
                                 "/" DOZO_LIBRARY_SUBDIR "/libunlha32.so";
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return l;
        l.getVersion = reinterpret_cast<int (*)()>(::dlsym(handle, "UnlhaGetVersion"));
        l.unlha = reinterpret_cast<decltype(l.unlha)>(::dlsym(handle, "Unlha"));
        l.checkArchive =
            reinterpret_cast<decltype(l.checkArchive)>(::dlsym(handle, "UnlhaCheckArchive"));
        l.configDialog =
            reinterpret_cast<decltype(l.configDialog)>(::dlsym(handle, "UnlhaConfigDialog"));
        return l;
    }();
    EXPECT_NE(lib.unlha, nullptr) << "libunlha32.so not loaded: " << ::dlerror();
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

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "unlha32-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
}

TempDir::~TempDir() {
    // Tests may leave read-only folders behind; open them up before removing.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
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

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const fs::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << path;
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

Bytes sampleBinary(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
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

}  // namespace unlhatest
