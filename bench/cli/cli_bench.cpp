// dozo-cli's cost over the libraries it drives, measured in one run:
//  - transform and keyed on one large file (default 256 MiB), against a
//    minimal program that calls the library directly (overhead should stay
//    within 2 %); the same call made inside this process is shown beside it,
//    without the start of any program;
//  - transform and keyed on 2,000 files of 4 KiB, against a plain loop that
//    writes a temporary, fsyncs and renames each file (within 1.2x).
//
//   cli_bench [size in MiB, default 256] [folder for the files, default: beside this program]
//
// "cli_bench --call LIBRARY FUNCTION FILE WORK [KEY]" is that minimal program:
// it loads the library, makes the one call and exits ("cli_bench --start" just
// exits, for the cost of starting a program).

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "built_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Method = int(void*, const char*, const char*, const char*);
using Keyed = int(void*, const char*, const char*, const char*, const char*);

// The large-file steps differ by a few milliseconds in a third of a second of
// disk time; they get more runs than the small-file ones.
constexpr int kLargeRuns = 12;
constexpr int kRuns = 5;
constexpr int kSmallFiles = 2000;
constexpr std::size_t kSmallSize = 4096;
constexpr const char* kKey = "bench key";

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Wall time and CPU time (user + system) of one measured step. The machine
// may be shared: the smallest of a few runs is the figure least disturbed.
struct Cost {
    double wall = 0;
    double cpu = 0;
};

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double selfCpu() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

Cost best(const std::vector<Cost>& runs) {
    Cost b = runs.front();
    for (const Cost& c : runs) {
        b.wall = std::min(b.wall, c.wall);
        b.cpu = std::min(b.cpu, c.cpu);
    }
    return b;
}

double gChildCpu = 0;  // CPU time of the last child, from wait4

void fill(std::vector<unsigned char>& block, std::uint64_t& x) {
    for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(&block[i], &x, 8);
    }
}

void writeRandomFile(const std::string& path, std::size_t bytes, std::uint64_t seed) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::exit(1);
    std::vector<unsigned char> block(std::min<std::size_t>(bytes, 1 << 20));
    for (std::size_t done = 0; done < bytes; done += block.size()) {
        fill(block, seed);
        std::fwrite(block.data(), 1, std::min(block.size(), bytes - done), f);
    }
    std::fclose(f);
}

void* open(const char* path) {
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        std::exit(1);
    }
    return handle;
}

// `program` with `args`, `input` on its standard input; its exit status.
int spawn(const char* program, const std::vector<std::string>& args, const std::string& input) {
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    (void)!::write(fds[1], input.data(), input.size());
    ::close(fds[1]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    gChildCpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// The minimal program: one library call, nothing else.
int directCall(char** argv) {
    void* library = ::dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
    void* function = library != nullptr ? ::dlsym(library, argv[3]) : nullptr;
    if (function == nullptr) return 1;
    if (argv[6] == nullptr)
        return reinterpret_cast<Method*>(function)(nullptr, argv[4], argv[4], argv[5]);
    return reinterpret_cast<Keyed*>(function)(nullptr, argv[4], argv[4], argv[5], argv[6]);
}

// In-process work: CPU time is this process's own.
Cost timed(const std::function<void()>& body) {
    ::sync();
    const double cpu = selfCpu();
    const double start = now();
    body();
    return {now() - start, selfCpu() - cpu};
}

const std::string& builtCli() {
    static const std::string cli = builtFile(DOZO_CLI_PATH);
    return cli;
}

// A program's run: CPU time is the child's.
Cost timedRun(const char* program, const std::vector<std::string>& args,
              const std::string& input = {}) {
    ::sync();
    const double start = now();
    if (spawn(program, args, input) != 0) std::exit(1);
    return {now() - start, gChildCpu};
}

Cost timedCli(const std::vector<std::string>& args, const std::string& input) {
    return timedRun(builtCli().c_str(), args, input);
}

// The plain loop the command line is held to on small files: read, rewrite,
// write a temporary beside the file, fsync, rename.
void plainLoop(const std::vector<std::string>& files, bool syncFolder) {
    std::vector<unsigned char> buffer(kSmallSize);
    for (const std::string& file : files) {
        const int in = ::open(file.c_str(), O_RDONLY);
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        ::close(in);
        for (ssize_t i = 0; i < n; ++i) buffer[i] ^= 0xFF;
        const std::string temp = file + ".tmp";
        const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || ::write(out, buffer.data(), n) != n || ::fsync(out) != 0) std::exit(1);
        ::close(out);
        if (::rename(temp.c_str(), file.c_str()) != 0) std::exit(1);
        if (syncFolder) {
            const int dir = ::open(fs::path(file).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
            ::fsync(dir);
            ::close(dir);
        }
    }
}

void report(const char* what, Cost ours, const char* referenceName, Cost reference,
            const char* limit) {
    std::printf(
        "%-30s wall %7.3f s  cpu %6.3f s | %-28s wall %7.3f s  cpu %6.3f s | "
        "wall x%.3f (%+.1f %%)  cpu %+.3f s  [limit %s]\n",
        what, ours.wall, ours.cpu, referenceName, reference.wall, reference.cpu,
        ours.wall / reference.wall, (ours.wall / reference.wall - 1) * 100,
        ours.cpu - reference.cpu, limit);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::strcmp(argv[1], "--call") == 0) return directCall(argv);
    if (argc == 2 && std::strcmp(argv[1], "--start") == 0) return 0;
    const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path root = (argc > 2 ? fs::path(argv[2]) : self.parent_path()) / "cli_bench.data";
    fs::remove_all(root);
    fs::create_directories(root / "small");

    auto* encrypt =
        reinterpret_cast<Method*>(::dlsym(open(builtFile(ROZU32_PATH).c_str()), "FileEncryptionA"));
    auto* keyed =
        reinterpret_cast<Keyed*>(::dlsym(open(builtFile(VOD32_PATH).c_str()), "VovBCMKC"));
    if (encrypt == nullptr || keyed == nullptr) return 1;

    const std::string big = (root / "big.bin").string();
    const std::string work = (root / "Temp.$$$").string();
    writeRandomFile(big, mebibytes << 20, 1);
    std::vector<std::string> small;
    for (int i = 0; i < kSmallFiles; ++i) {
        small.push_back((root / "small" / ("f" + std::to_string(i))).string());
        writeRandomFile(small.back(), kSmallSize, 100 + i);
    }
    std::printf(
        "cli_bench: one file of %zu MiB (best of %d runs), %d files of %zu KiB (best of %d), in "
        "%s\n",
        mebibytes, kLargeRuns, kSmallFiles, kSmallSize / 1024, kRuns, root.c_str());

    // Each run rewrites the file in place; every method is its own inverse,
    // so the content alternates and stays the same size.
    std::vector<Cost> cliA, libA, directA, cliK, libK, directK, cliSmallA, cliSmallK, loop,
        loopSync, libSmallA;
    const std::string selfPath = self.string();
    const std::string key = std::string(kKey) + "\n";
    const std::string smallDir = (root / "small").string();
    // The steps on the large file, each run in another order, so that none
    // is always the one after the fsync of a 256 MiB file.
    const std::vector<std::function<void()>> largeSteps = {
        [&] {
            libA.push_back(timed([&] {
                if (encrypt(nullptr, big.c_str(), big.c_str(), work.c_str()) != 0) std::exit(1);
            }));
        },
        [&] {
            cliA.push_back(timedCli({"-q", "transform", "A", big}, ""));
        },
        [&] {
            directA.push_back(timedRun(selfPath.c_str(), {"--call", builtFile(ROZU32_PATH),
                                                          "FileEncryptionA", big, work}));
        },
        [&] {
            libK.push_back(timed([&] {
                if (keyed(nullptr, big.c_str(), big.c_str(), work.c_str(), kKey) != 0) std::exit(1);
            }));
        },
        [&] {
            cliK.push_back(timedCli({"-q", "keyed", "--key-stdin", big}, key));
        },
        [&] {
            directK.push_back(timedRun(
                selfPath.c_str(), {"--call", builtFile(VOD32_PATH), "VovBCMKC", big, work, kKey}));
        },
    };
    for (int run = 0; run < kLargeRuns; ++run) {
        for (std::size_t i = 0; i < largeSteps.size(); ++i)
            largeSteps[(i + static_cast<std::size_t>(run)) % largeSteps.size()]();
    }
    for (int run = 0; run < kRuns; ++run) {
        loop.push_back(timed([&] { plainLoop(small, false); }));
        loopSync.push_back(timed([&] { plainLoop(small, true); }));
        // The library alone over the same files: what is left of the gap to
        // the plain loop is the library's own (the work file, the folder's fsync).
        libSmallA.push_back(timed([&] {
            for (const std::string& file : small)
                if (encrypt(nullptr, file.c_str(), file.c_str(), work.c_str()) != 0) std::exit(1);
        }));
        cliSmallA.push_back(timedCli({"-q", "transform", "-r", "A", smallDir}, ""));
        cliSmallK.push_back(timedCli({"-q", "keyed", "-r", "--key-stdin", smallDir}, key));
    }
    report("transform A, large file", best(cliA), "minimal program calling it", best(directA),
           "+2 %");
    report("keyed, large file", best(cliK), "minimal program calling it", best(directK), "+2 %");
    report("transform A, large file", best(cliA), "library called in this process", best(libA),
           "-");
    report("keyed, large file", best(cliK), "library called in this process", best(libK), "-");
    report("transform A -r, small files", best(cliSmallA), "write+fsync+rename loop", best(loop),
           "1.2x");
    report("keyed -r, small files", best(cliSmallK), "write+fsync+rename loop", best(loop), "1.2x");
    report("transform A -r, small files", best(cliSmallA), "library A called in a loop",
           best(libSmallA), "-");
    report("library A in a loop", best(libSmallA), "loop + folder fsync", best(loopSync), "-");

    // What a run of any size pays once: starting the program and loading its
    // libraries (Qt Core and what it links), against the minimal program.
    std::vector<Cost> cliStart, minimalStart;
    for (int run = 0; run < 40; ++run) {
        cliStart.push_back(timedRun(builtCli().c_str(), {"--version"}));
        minimalStart.push_back(timedRun(selfPath.c_str(), {"--start"}));
    }
    const Cost c = best(cliStart), m = best(minimalStart);
    std::printf("%-30s wall %7.1f ms cpu %6.1f ms | %-28s wall %7.1f ms cpu %6.1f ms | %+.1f ms\n",
                "start-up (dozo-cli --version)", c.wall * 1e3, c.cpu * 1e3, "minimal program",
                m.wall * 1e3, m.cpu * 1e3, (c.wall - m.wall) * 1e3);
    fs::remove_all(root);
    return 0;
}
