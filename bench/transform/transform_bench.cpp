// Wall time of every Rozu32 method and of Vod32 on a large file in the page
// cache, against `dd bs=1M conv=fsync` of the same file and against the
// byte-at-a-time sequences, all measured in this run.
//
//   transform_bench [size in MiB, default 256]

#include <dlfcn.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "baseline.h"

extern char** environ;

namespace {

using dozo::bench::BaselinePaths;
using Method = int(void*, const char*, const char*, const char*);
using Keyed = int(void*, const char*, const char*, const char*, const char*);

constexpr int kRuns = 5;

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void writeRandomFile(const std::string& path, std::size_t mebibytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::exit(1);
    std::vector<std::uint64_t> block((1 << 20) / 8);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::size_t m = 0; m < mebibytes; ++m) {
        for (auto& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        std::fwrite(block.data(), 1, block.size() * 8, f);
    }
    std::fclose(f);
}

// Runs body in a child so its peak resident set is its own: the wall time
// (fork and wait included) and the child's peak RSS in KiB.
struct Run {
    double seconds;
    double cpuSeconds;  // user + system: the work itself, without waiting for the disk
    long peakKiB;
    int exitCode;
};

double cpuSeconds(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Run inChild(const std::function<void()>& body) {
    std::fflush(nullptr);
    const double start = now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return {now() - start, cpuSeconds(usage), usage.ru_maxrss,
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

double timeDd(const std::string& from, const std::string& to) {
    const std::string in = "if=" + from, out = "of=" + to;
    const char* argv[] = {"dd",         in.c_str(),    out.c_str(), "bs=1M",
                          "conv=fsync", "status=none", nullptr};
    std::filesystem::remove(to);
    const double start = now();
    pid_t pid;
    if (::posix_spawnp(&pid, "dd", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return 0;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return now() - start;
}

std::string libraryDir() {
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / DOZO_LIBRARY_SUBDIR).string();
}

struct Case {
    std::string name;
    std::function<int(const char* from, const char* to, const char* work)> call;
    std::function<void(const BaselinePaths&)> baseline;
    bool seeksEveryByte;
    double targetSpeedup;
};

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    if (mebibytes == 0) {
        std::fprintf(stderr, "usage: transform_bench [size in MiB]\n");
        return 2;
    }
    const std::string libs = libraryDir();
    void* rozu = ::dlopen((libs + "/libRozu32.so").c_str(), RTLD_NOW);
    void* vod = ::dlopen((libs + "/libVod32.so").c_str(), RTLD_NOW);
    if (rozu == nullptr) {
        std::fprintf(stderr, "cannot load libRozu32.so from %s\n", libs.c_str());
        return 1;
    }

    std::vector<Case> cases;
    auto method = [&](const char* name, void (*baseline)(const BaselinePaths&), bool seeks) {
        auto* fn = reinterpret_cast<Method*>(::dlsym(rozu, name));
        cases.push_back(
            {name,
             [fn](const char* s, const char* d, const char* w) { return fn(nullptr, s, d, w); },
             baseline, seeks, seeks ? 500.0 : 50.0});
    };
    method("FileEncryptionA", dozo::bench::baselineA, false);
    method("FileEncryptionC", dozo::bench::baselineC, false);
    method("FileEncryptionLC", dozo::bench::baselineLC, false);
    method("FileEncryptionLCR", dozo::bench::baselineLCR, true);
    method("FileEncryptionLCB", dozo::bench::baselineLCB, false);
    method("FileEncryptionLCRB", dozo::bench::baselineLCRB, true);
    method("i_CLOL", dozo::bench::baselineICLOL, false);
    if (vod != nullptr) {
        auto* fn = reinterpret_cast<Keyed*>(::dlsym(vod, "VovBCMKC"));
        for (std::size_t length : {1, 7, 255}) {
            std::string key;
            for (std::size_t i = 0; i < length; ++i) key.push_back(static_cast<char>('!' + i % 90));
            cases.push_back({"VovBCMKC key " + std::to_string(length),
                             [fn, key](const char* s, const char* d, const char* w) {
                                 return fn(nullptr, s, d, w, key.c_str());
                             },
                             [key](const BaselinePaths& p) { dozo::bench::baselineVod32(p, key); },
                             false, 50.0});
        }
    }

    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/dozo-bench-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return 1;
    const std::string big = folder + "/big", out = folder + "/out", work = folder + "/Temp.$$$";
    // The byte-at-a-time sequences run on smaller files and are scaled up;
    // the reversal re-reads a stdio buffer for every byte, so it gets less.
    const std::size_t smallMiB = std::min<std::size_t>(mebibytes, 16);
    const std::size_t tinyMiB = std::min<std::size_t>(mebibytes, 2);
    const std::string small = folder + "/small", tiny = folder + "/tiny";
    writeRandomFile(big, mebibytes);
    writeRandomFile(small, smallMiB);
    writeRandomFile(tiny, tinyMiB);
    ::sync();
    timeDd(big, out);  // brings the file into the page cache

    struct Row {
        const Case* c;
        double seconds, dd, cpu, baselineScaled, baselineCpuScaled;
        long peakKiB;
        int code;
    };
    std::vector<Row> rows;
    for (const Case& c : cases) {
        // dd runs interleaved with the calls, so load from elsewhere on the
        // machine weighs on both sides of the ratio alike.
        std::vector<double> times, dd, cpu;
        long peak = 0;
        int code = 0;
        for (int i = 0; i < kRuns; ++i) {
            dd.push_back(timeDd(big, out));
            std::filesystem::remove(out);
            const Run r = inChild([&] { ::_exit(c.call(big.c_str(), out.c_str(), work.c_str())); });
            times.push_back(r.seconds);
            cpu.push_back(r.cpuSeconds);
            peak = std::max(peak, r.peakKiB);
            if (r.exitCode != 0) code = r.exitCode;
        }
        const std::string& from = c.seeksEveryByte ? tiny : small;
        const double fromMiB = static_cast<double>(c.seeksEveryByte ? tinyMiB : smallMiB);
        const Run b = inChild([&] { c.baseline({from, folder + "/bout", work}); });
        const double scale = static_cast<double>(mebibytes) / fromMiB;
        rows.push_back({&c, median(times), median(dd), median(cpu), b.seconds * scale,
                        b.cpuSeconds * scale, peak, code});
        std::fprintf(stderr, ".");
    }
    const Run idle = inChild([] {});

    std::printf("\ntransform_bench: %zu MiB file in the page cache, median of %d runs\n", mebibytes,
                kRuns);
    std::printf("dd: dd bs=1M conv=fsync of the same file, runs interleaved with the call's\n");
    std::printf("baseline: byte at a time through stdio (%zu MiB, reversals %zu MiB), scaled\n",
                smallMiB, tinyMiB);
    std::printf("peak RSS of an idle child of this program: %.1f MiB\n\n", idle.peakKiB / 1024.0);
    std::printf("%-20s %7s %7s %6s %11s %9s %7s %9s %9s %8s  %s\n", "call", "wall s", "dd s",
                "x dd", "baseline s", "speed-up", "cpu s", "baseline", "cpu", "peak RSS",
                "targets: <=1.5x dd,");
    std::printf("%-20s %7s %7s %6s %11s %9s %7s %9s %9s %8s  %s\n", "", "", "", "", "(scaled)",
                "(wall)", "", "cpu s", "speed-up", "MiB", "wall speed-up");
    bool allMet = true;
    for (const Row& r : rows) {
        const double ratio = r.seconds / r.dd, speedup = r.baselineScaled / r.seconds;
        const bool ddMet = ratio <= 1.5, speedMet = speedup >= r.c->targetSpeedup;
        allMet = allMet && r.code == 0 && ddMet && speedMet;
        std::printf(
            "%-20s %7.3f %7.3f %6.2f %11.2f %8.0fx %7.3f %9.2f %8.0fx %8.1f  %s, %s >=%.0fx\n",
            r.c->name.c_str(), r.seconds, r.dd, ratio, r.baselineScaled, speedup, r.cpu,
            r.baselineCpuScaled, r.baselineCpuScaled / r.cpu, r.peakKiB / 1024.0,
            r.code != 0 ? "CALL FAILED"
            : ddMet     ? "met"
                        : "missed",
            speedMet ? "met" : "missed", r.c->targetSpeedup);
    }
    std::filesystem::remove_all(folder);
    std::printf("\n%s\n", allMet ? "all targets met" : "some targets missed");
    return 0;
}
