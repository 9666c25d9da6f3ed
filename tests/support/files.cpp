#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace dozo::test {

Bytes readFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot read " + path.string());
    Bytes bytes;
    unsigned char block[65536];
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;)
        bytes.insert(bytes.end(), block, block + got);
    ::close(fd);
    return bytes;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("cannot write " + path.string());
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            ::close(fd);
            throw std::runtime_error("cannot write " + path.string());
        }
        done += static_cast<std::size_t>(put);
    }
    const bool modeSet = ::fchmod(fd, mode) == 0;
    if (::close(fd) != 0 || !modeSet) throw std::runtime_error("cannot write " + path.string());
}

bool exists(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

std::set<std::string> listDir(const std::filesystem::path& dir) {
    std::set<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) throw std::runtime_error("cannot list " + dir.string());
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(d);
    return names;
}

Bytes randomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<unsigned char>(rng());
    return bytes;
}

Bytes hex(const char* text) {
    Bytes bytes;
    for (char* end; *text != '\0'; text = end) {
        const unsigned long v = std::strtoul(text, &end, 16);
        if (end == text) break;
        bytes.push_back(static_cast<unsigned char>(v));
    }
    return bytes;
}

std::string fileThatReadsShort() {
    for (const char* path : {"/sys/devices/system/cpu/online", "/sys/kernel/profiling",
                             "/sys/kernel/mm/transparent_hugepage/enabled"}) {
        struct stat st {};
        if (::stat(path, &st) == 0 && S_ISREG(st.st_mode) && ::access(path, R_OK) == 0 &&
            static_cast<std::size_t>(st.st_size) > readFile(path).size())
            return path;
    }
    return {};
}

int runInChild(const std::function<int()>& body, off_t fileSizeLimit) {
    return runInChild(body, ChildLimits{fileSizeLimit, 0});
}

int runInChild(const std::function<int()>& body, const ChildLimits& limits) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (limits.fileSize > 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(limits.fileSize),
                               static_cast<rlim_t>(limits.fileSize)};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
        }
        if (limits.openFiles > 0) {
            const rlimit limit{limits.openFiles, limits.openFiles};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(125);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

namespace {

// A "VmRSS:"-style line of /proc/self/status, in bytes; -1 when missing.
long long statusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(field.size())) * 1024;
    }
    return -1;
}

}  // namespace

long long peakMemoryGrowth(const std::function<void()>& body) {
    // Writing 5 to clear_refs resets the peak to the current size.
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.flush();
        if (!clear) return -1;
    }
    const long long before = statusBytes("VmRSS:");
    body();
    const long long peak = statusBytes("VmHWM:");
    return before < 0 || peak < 0 ? -1 : peak - before;
}

pid_t deadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace dozo::test
