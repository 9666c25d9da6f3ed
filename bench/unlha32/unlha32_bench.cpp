// The archiver against its peers, each measured in the same run:
//   - packing this machine's files of six kinds with each method at each
//     level, size, CPU and wall time against jlha, and what the pack's check
//     of its own output (decoding every compressed entry) costs of that CPU;
//   - packing a folder of mixed files of 64 KiB to 2 MiB on one core and on
//     two;
//   - adding 1 KiB to a large archive through the library, against jlha and
//     against copying the archive with dd conv=fsync;
//   - listing an archive of many entries as dozo-cli does (its library call,
//     and dozo-cli itself when it is built), against lhasa l;
//   - packing many 1 KiB files through the library, against jlha;
//   - extracting through libarchive (as the library does) against lhasa, and
//     what the syncfs that makes an extraction durable adds;
//   - how long a stop asked for inside one large file (of the archive's size)
//     takes to end a pack and an extraction, against packing it whole.
// Timed steps run interleaved; best and median are printed, and at the end the
// figures against their goals. A missing peer is reported and skipped.
// Arguments: [archive MiB (312)] [small files (100000)] [listed entries (100000)]
// [tables: a comma-separated choice of pack,medium,update,list,small,extract,
// stop (all)].
#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <dozo/contracts/unlha32.h>

#include "corpus.h"
#include "writing/lha/archive_writer.h"
#include "writing/lha/decoder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// CPU seconds (user + system) of this process or of its waited-for children:
// on a shared machine they say more than the wall clock about the work done.
double cpuSeconds(int who) {
    struct rusage r;
    ::getrusage(who, &r);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * t.tv_usec; };
    return s(r.ru_utime) + s(r.ru_stime);
}

bool have(const char* program) {
    return ::access(program, X_OK) == 0;
}

bool shell(const std::string& cmd) {
    const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    if (rc != 0) std::fprintf(stderr, "command failed (%d): %s\n", rc, cmd.c_str());
    return rc == 0;
}

std::string q(const fs::path& p) {
    return "'" + p.string() + "'";
}

std::uintmax_t sizeOf(const fs::path& p) {
    std::error_code ec;
    const auto n = fs::file_size(p, ec);
    return ec ? 0 : n;
}

// Wall and CPU seconds of one step; CPU counts this process and its children.
struct Timing {
    double wall = -1, cpu = -1;
};

Timing timed(const std::function<bool()>& step) {
    const auto t0 = Clock::now();
    const double c0 = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
    if (!step()) return {};
    return {secondsSince(t0), cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN) - c0};
}

struct Series {
    std::vector<double> wall, cpu;
    void add(const Timing& t) {
        if (t.wall < 0) return;
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    static double best(std::vector<double> v) {
        return v.empty() ? -1 : *std::min_element(v.begin(), v.end());
    }
    static double median(std::vector<double> v) {
        if (v.empty()) return -1;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
};

// The figures the tables end with, against their goals.
struct Summary {
    // Normal level: the largest size difference to jlha (%, compressible
    // corpora) and the smallest jlha CPU / ours over every corpus and method.
    double worstSize = -1e9;
    double leastCpu = 1e9;
    // Max level: the smallest gain on text, source and Japanese, %.
    double leastGain = 1e9;
    int cellsMissed = 0;      // corpus x method x level rows whose goal is not met
    double checkShare = -1;   // largest share of our pack CPU that its check takes, %
    double mediumOne = -1;    // seconds, wall, mixed medium files on one core
    double mediumTwo = -1;    // the same on two
    double update = -1;       // ours / the copy
    double listLibrary = -1;  // ours / lhasa l
    double listCli = -1;
    double small = -1;  // jlha wall / ours
    int smallCount = 0, listCount = 0;
    double archiveMiB = 0;
    double stopPack = -1, stopExtract = -1;  // seconds from the stop to the return
    double stopMiB = 0;
};
Summary summary;

void writeTree(const fs::path& dir, const std::vector<CorpusFile>& files) {
    fs::create_directories(dir);
    for (const auto& f : files)
        std::ofstream(dir / f.name, std::ios::binary)
            .write(reinterpret_cast<const char*>(f.data.data()),
                   static_cast<std::streamsize>(f.data.size()));
}

bool packOurs(const fs::path& dir, const std::vector<CorpusFile>& files, unlha::Method m,
              const fs::path& out, unlha::Level level = unlha::Level::normal) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    unlha::ArchiveWriter w(fd);
    w.setLevel(level);
    for (const auto& f : files) {
        const fs::path p = dir / f.name;
        struct stat st;
        const int in = ::open(p.c_str(), O_RDONLY);
        if (in < 0 || ::fstat(in, &st) != 0 ||
            !w.addFile({f.name, false, st.st_mode, st.st_mtime, st.st_uid, st.st_gid}, in,
                       st.st_size, m)) {
            std::fprintf(stderr, "pack failed: %s\n", w.error().c_str());
            return false;
        }
        ::close(in);
    }
    const bool ok = w.finish();
    ::close(fd);
    return ok;
}

std::vector<std::uint8_t> readArchive(const fs::path& archive) {
    std::ifstream in(archive, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The check the writer makes of its output, run again on the bytes of a whole
// archive of ours: every compressed entry decoded to a null sink, as one
// stream (the writer decodes a large file's segments on several threads: the
// same work). The writer decodes what it holds in memory, so reading the file
// is no part of it and is not timed with it. False when an entry does not
// give back its length and CRC.
bool checkAgain(const std::vector<std::uint8_t>& a) {
    const auto le = [&a](std::size_t at, int n) {
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | a[at + static_cast<std::size_t>(i)];
        return v;
    };
    unlha::DecoderMemory memory;
    // Level-2 headers: their size, method, packed and original sizes, CRC.
    for (std::size_t at = 0; at + 24 < a.size() && a[at] != 0;) {
        const std::size_t header = le(at, 2), packed = le(at + 7, 4);
        const std::string method(a.begin() + static_cast<long>(at) + 2,
                                 a.begin() + static_cast<long>(at) + 7);
        const unlha::Method m = method == "-lh5-"   ? unlha::Method::lh5
                                : method == "-lh6-" ? unlha::Method::lh6
                                : method == "-lh7-" ? unlha::Method::lh7
                                                    : unlha::Method::lh0;
        if (m != unlha::Method::lh0) {
            const unlha::Decoded d = unlha::decode(m, {std::span(a).subspan(at + header, packed)},
                                                   {}, le(at + 11, 4), memory);
            if (!d.error.empty() || d.length != le(at + 11, 4) || d.crc != le(at + 21, 2))
                return false;
        }
        at += header + packed;
    }
    return true;
}

// libunlha32.so from the build tree, called as the application calls it.
void* libraryHandle = nullptr;

UnlhaFn* loadLibrary() {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path lib = self.parent_path().parent_path() / DOZO_LIBRARY_SUBDIR / "libunlha32.so";
    libraryHandle = ::dlopen(lib.c_str(), RTLD_NOW);
    if (libraryHandle == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", lib.c_str(), ::dlerror());
        return nullptr;
    }
    return reinterpret_cast<UnlhaFn*>(::dlsym(libraryHandle, dozo::contracts::kUnlha));
}

bool callLibrary(UnlhaFn* unlha, const std::string& line) {
    std::vector<char> out(1 << 16);
    const int rc = unlha(nullptr, line.c_str(), out.data(), out.size());
    if (rc != 0) std::fprintf(stderr, "Unlha %s: %d %s\n", line.c_str(), rc, out.data());
    return rc == 0;
}

const char* kMethods[][2] = {{"-lh5-", "5"}, {"-lh6-", "6"}, {"-lh7-", "7"}};

unlha::Method methodOf(int i) {
    return i == 0 ? unlha::Method::lh5 : i == 1 ? unlha::Method::lh6 : unlha::Method::lh7;
}

// The bytes of the entries' compressed data in an archive of level-2
// headers (ours and jlha's), without the headers; 0 for any other.
std::uint64_t packedData(const fs::path& archive) {
    std::ifstream in(archive, std::ios::binary);
    const std::vector<std::uint8_t> b{std::istreambuf_iterator<char>(in), {}};
    std::uint64_t total = 0;
    for (std::size_t at = 0; at + 24 <= b.size() && b[at] != 0;) {
        if (b[at + 20] != 2) return 0;
        const std::size_t header = b[at] | b[at + 1] << 8;
        const std::uint64_t packed = b[at + 7] | b[at + 8] << 8 | b[at + 9] << 16 |
                                     static_cast<std::uint64_t>(b[at + 10]) << 24;
        total += packed;
        at += header + packed;
    }
    return total;
}

const char* levelName(unlha::Level level) {
    return level == unlha::Level::max ? "max" : "normal";
}

void compressionTable(const fs::path& root) {
    const auto corpora = machineCorpora(4u << 20);
    std::printf(
        "packing this machine's files, ours at each level against jlha (same method), 3 runs\n");
    std::printf("%-10s %5s %6s %-6s %9s %9s %8s %8s %7s %7s %6s %7s %7s %6s %6s  %s\n", "corpus",
                "files", "method", "level", "ours", "jlha", "size", "data", "cpu", "jlha", "cpu x",
                "wall", "jlha", "wall x", "check", "goal");
    constexpr unlha::Level kLevels[] = {unlha::Level::normal, unlha::Level::max};
    for (const auto& c : corpora) {
        if (c.files.empty()) {
            std::printf("%-10s (nothing found)\n", c.kind.c_str());
            continue;
        }
        const fs::path dir = root / c.kind;
        writeTree(dir, c.files);
        std::string names;
        for (const auto& f : c.files) names += " " + q(f.name);
        const bool compressible = c.kind != "compressed";
        // The max level's goal is for text, source and Japanese.
        const bool gainCorpus = compressible && c.kind != "elf";
        for (int m = 0; m < 3; ++m) {
            const fs::path theirs = root / (c.kind + kMethods[m][0] + "jlha.lzh");
            Series ours[2], j, check[2];
            fs::path archives[2];
            for (int l = 0; l < 2; ++l)
                archives[l] = root / (c.kind + kMethods[m][0] + levelName(kLevels[l]) + ".lzh");
            for (int round = 0; round < 3; ++round) {
                for (int l = 0; l < 2; ++l) {
                    ours[l].add(timed([&] {
                        return packOurs(dir, c.files, methodOf(m), archives[l], kLevels[l]);
                    }));
                    const std::vector<std::uint8_t> bytes = readArchive(archives[l]);
                    check[l].add(timed([&] { return checkAgain(bytes); }));
                }
                if (!have("/usr/bin/jlha")) continue;
                fs::remove(theirs);
                j.add(timed([&] {
                    return shell("cd " + q(dir) + " && jlha -ao" + kMethods[m][1] + " " +
                                 q(theirs) + names);
                }));
            }
            const double js = static_cast<double>(sizeOf(theirs));
            const double jd = static_cast<double>(packedData(theirs));
            for (int l = 0; l < 2; ++l) {
                const double os = static_cast<double>(sizeOf(archives[l]));
                const double od = static_cast<double>(packedData(archives[l]));
                const double diff = js > 0 ? 100.0 * (os - js) / js : 0;
                const double dataDiff = jd > 0 && od > 0 ? 100.0 * (od - jd) / jd : 0;
                const double cpuX = Series::median(j.cpu) / Series::median(ours[l].cpu);
                const double wallX = Series::median(j.wall) / Series::median(ours[l].wall);
                const double share =
                    100.0 * Series::median(check[l].cpu) / Series::median(ours[l].cpu);
                if (!check[l].cpu.empty()) summary.checkShare = std::max(summary.checkShare, share);
                std::string goal = "-";
                if (js > 0 && kLevels[l] == unlha::Level::normal) {
                    summary.leastCpu = std::min(summary.leastCpu, cpuX);
                    if (compressible) summary.worstSize = std::max(summary.worstSize, diff);
                    const bool sizeMet = !compressible || diff <= 0;
                    goal = std::string(sizeMet ? "" : "size NOT met (> jlha), ") +
                           (cpuX >= 6 ? "" : "cpu NOT met (< 6x), ");
                    goal =
                        goal.empty() ? "met (<= jlha, >= 6x cpu)" : goal.substr(0, goal.size() - 2);
                    if (!sizeMet || cpuX < 6) ++summary.cellsMissed;
                } else if (js > 0 && gainCorpus) {
                    summary.leastGain = std::min(summary.leastGain, -diff);
                    goal = -diff >= 2 ? "met (>= 2% smaller)" : "NOT met (< 2% smaller)";
                    if (-diff < 2) ++summary.cellsMissed;
                }
                std::printf(
                    "%-10s %5zu %6s %-6s %9.0f %9.0f %+7.2f%% %+7.2f%% %7.3f %7.3f %5.1fx %7.3f "
                    "%7.3f %5.1fx %5.1f%%  %s%s\n",
                    c.kind.c_str(), c.files.size(), kMethods[m][0], levelName(kLevels[l]), os, js,
                    diff, dataDiff, Series::median(ours[l].cpu), Series::median(j.cpu), cpuX,
                    Series::median(ours[l].wall), Series::median(j.wall), wallX, share,
                    goal.c_str(), check[l].cpu.size() == 3 ? "" : " CHECK FAILED");
            }
        }
    }
    std::printf(
        "(size: our archive against jlha's; data: the entries' compressed data alone, without\n"
        " headers (ours keep each file's mode and owner, 12 bytes more a file); cpu, wall:\n"
        " median seconds, x: jlha's / ours; check: the CPU of decoding every compressed entry,\n"
        " the check each pack makes of its output, as a share of our cpu, which includes it.\n"
        " Goals: normal no larger than jlha on every compressible corpus and >= 6x jlha's speed\n"
        " by CPU on every corpus; max >= 2%% smaller than jlha on text, source and Japanese)\n\n");
}

// Files of 64 KiB to 2 MiB, of every kind, packed as the archiver packs a
// folder of them (addFiles, at the normal level), on one core and on two.
void mediumTable(const fs::path& root) {
    std::vector<CorpusFile> sources;
    for (auto& c : machineCorpora(8u << 20))
        for (auto& f : c.files) sources.push_back(std::move(f));
    for (auto& f : makeCorpus(16u << 20)) sources.push_back(std::move(f));
    // Pieces of every size in the range, cut from each kind in turn.
    std::vector<CorpusFile> files;
    std::size_t total = 0;
    std::uint64_t step = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; total < (48u << 20) && !sources.empty(); ++i) {
        step = step * 6364136223846793005ull + 1442695040888963407ull;
        const std::size_t size = (64u << 10) + (step >> 33) % ((2u << 20) - (64u << 10));
        std::vector<std::uint8_t> piece;
        for (std::size_t k = 0; piece.size() < size && k < sources.size(); ++k) {
            const auto& src = sources[(i + k) % sources.size()].data;
            piece.insert(
                piece.end(), src.begin(),
                src.begin() + static_cast<long>(std::min(src.size(), size - piece.size())));
        }
        total += piece.size();
        files.push_back({"m" + std::to_string(i) + ".bin", std::move(piece)});
    }
    const fs::path dir = root / "medium";
    writeTree(dir, files);
    auto pack = [&](int threads, const fs::path& out) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return false;
        unlha::ArchiveWriter w(fd);
        w.setThreads(threads);
        std::vector<unlha::ArchiveWriter::FileInput> inputs;
        for (const auto& f : files) {
            const int in = ::open((dir / f.name).c_str(), O_RDONLY);
            struct stat st;
            if (in < 0 || ::fstat(in, &st) != 0) return false;
            inputs.push_back(
                {{f.name, false, st.st_mode, st.st_mtime, st.st_uid, st.st_gid}, in, st.st_size});
        }
        std::size_t failed = 0;
        const bool ok = w.addFiles(inputs, unlha::Method::lh5, &failed) && w.finish();
        for (const auto& in : inputs) ::close(in.fd);
        ::close(fd);
        if (!ok) std::fprintf(stderr, "pack failed: %s\n", w.error().c_str());
        return ok;
    };
    const fs::path one = root / "medium1.lzh", two = root / "medium2.lzh";
    Series s1, s2;
    for (int round = 0; round < 3; ++round) {
        s1.add(timed([&] { return pack(1, one); }));
        s2.add(timed([&] { return pack(2, two); }));
    }
    std::ifstream a(one, std::ios::binary), b(two, std::ios::binary);
    const bool same =
        std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {});
    std::printf(
        "packing %zu files of 64 KiB to 2 MiB (%.0f MiB, -lh5-, normal; 3 rounds, seconds "
        "best / median)\n",
        files.size(), static_cast<double>(total) / (1 << 20));
    for (const auto& [name, s] : {std::pair{"1 core", &s1}, std::pair{"2 cores", &s2}}) {
        if (s->wall.empty()) continue;
        std::printf("  %-8s wall %7.3f / %7.3f  cpu %7.3f / %7.3f\n", name, Series::best(s->wall),
                    Series::median(s->wall), Series::best(s->cpu), Series::median(s->cpu));
    }
    if (!s1.wall.empty() && !s2.wall.empty()) {
        summary.mediumOne = Series::median(s1.wall);
        summary.mediumTwo = Series::median(s2.wall);
        std::printf("  -> 2 cores %.2fx the speed of one (wall, median); archives %s\n",
                    summary.mediumOne / summary.mediumTwo, same ? "identical" : "DIFFER");
    }
    std::printf("\n");
    fs::remove_all(dir);
    fs::remove(one);
    fs::remove(two);
}

// Adds the same `files` (read from dir) to w under `prefix`/, with method m.
bool addTree(unlha::ArchiveWriter& w, const fs::path& dir, const std::vector<CorpusFile>& files,
             const std::string& prefix, unlha::Method m) {
    for (const auto& f : files) {
        const fs::path p = dir / f.name;
        struct stat st;
        const int in = ::open(p.c_str(), O_RDONLY);
        const bool ok =
            in >= 0 && ::fstat(in, &st) == 0 &&
            w.addFile({prefix + f.name, false, st.st_mode, st.st_mtime, st.st_uid, st.st_gid}, in,
                      st.st_size, m);
        if (in >= 0) ::close(in);
        if (!ok) {
            std::fprintf(stderr, "pack failed: %s\n", w.error().c_str());
            return false;
        }
    }
    return true;
}

void updateTable(const fs::path& root, UnlhaFn* unlha, std::size_t archiveBytes) {
    // A large archive, written once; each round starts from it. An update
    // copies kept entries byte for byte whatever their method, so stored
    // copies of a 32 MiB corpus make the size quickly.
    const fs::path dir = root / "update";
    const auto files = makeCorpus(std::min<std::size_t>(archiveBytes, 32u << 20));
    writeTree(dir, files);
    const fs::path base = root / "base.lzh";
    {
        const int fd = ::open(base.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return;
        unlha::ArchiveWriter w(fd);
        for (int copy = 0; sizeOf(base) < archiveBytes; ++copy)
            if (!addTree(w, dir, files, "copy" + std::to_string(copy) + "/", unlha::Method::lh0)) {
                ::close(fd);
                return;
            }
        const bool ok = w.finish();
        ::close(fd);
        if (!ok) return;
    }
    const fs::path added = root / "added.txt";
    std::ofstream(added) << std::string(1024, 'x');
    const fs::path work = root / "work.lzh";
    // Each step starts with nothing left to write back: the copy that sets it
    // up is flushed first, untimed.
    auto fresh = [&] {
        fs::copy_file(base, work, fs::copy_options::overwrite_existing);
        ::sync();
    };
    // Seven rounds: on a shared disk a write-back stall of a few hundred
    // milliseconds lands on one step or another now and then.
    constexpr int kRounds = 7;
    Series ours, jlha, copy;
    for (int round = 0; round < kRounds; ++round) {
        fresh();
        ours.add(timed([&] {
            return callLibrary(unlha, "u -a1 \"" + work.string() + "\" \"" + added.string() + "\"");
        }));
        if (have("/usr/bin/jlha")) {
            fresh();
            jlha.add(timed(
                [&] { return shell("cd " + q(root) + " && jlha -a " + q(work) + " added.txt"); }));
        }
        ::sync();
        copy.add(timed([&] {
            return shell("dd if=" + q(base) + " of=" + q(root / "copy.lzh") + " bs=1M conv=fsync");
        }));
    }
    summary.archiveMiB = static_cast<double>(sizeOf(base)) / (1 << 20);
    std::printf("adding 1 KiB to a %.0f MiB archive (%d rounds, seconds best / median)\n",
                summary.archiveMiB, kRounds);
    const double ref = Series::median(copy.wall);
    for (const auto& [name, s] :
         {std::pair{"ours", &ours}, std::pair{"jlha", &jlha}, std::pair{"dd conv=fsync", &copy}}) {
        if (s->wall.empty()) continue;
        std::printf("  %-14s wall %7.3f / %7.3f  cpu %7.3f / %7.3f  %6.2fx the copy\n", name,
                    Series::best(s->wall), Series::median(s->wall), Series::best(s->cpu),
                    Series::median(s->cpu), Series::median(s->wall) / ref);
    }
    if (!ours.wall.empty()) summary.update = Series::median(ours.wall) / ref;
    std::printf("\n");
    fs::remove(work);
    fs::remove(root / "copy.lzh");
    fs::remove(base);
    fs::remove_all(dir);
}

// The listing's size, asked once before the timing starts.
std::size_t listingSize(UnlhaFn* unlha, const std::string& line) {
    std::vector<char> out(64);
    if (unlha(nullptr, line.c_str(), out.data(), out.size()) != dozo::contracts::unlha::kOutput)
        return out.size();
    out.back() = '\0';
    return dozo::contracts::unlhaNeededSize(out.data());
}

// The library's share of dozo-cli list: one walk into a buffer that holds
// the whole listing, as dozo-cli's first buffer does.
bool listOnce(UnlhaFn* unlha, const std::string& line, std::size_t size) {
    std::vector<char> out(size);
    return unlha(nullptr, line.c_str(), out.data(), out.size()) == 0;
}

void listTable(const fs::path& root, UnlhaFn* unlha, int count) {
    // Entries of 100 bytes of text in folders of 1,000, compressed.
    const fs::path one = root / "entry.txt";
    std::ofstream(one) << std::string(40, 'a') + "entry text that compresses a little " +
                              std::string(24, 'b');
    const fs::path archive = root / "many.lzh";
    {
        const int fd = ::open(archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open(one.c_str(), O_RDONLY);
        struct stat st;
        if (fd < 0 || in < 0 || ::fstat(in, &st) != 0) return;
        unlha::ArchiveWriter w(fd);
        for (int i = 0; i < count; ++i) {
            ::lseek(in, 0, SEEK_SET);
            const std::string name =
                "dir" + std::to_string(i / 1000) + "/file" + std::to_string(i) + ".txt";
            if (!w.addFile({name, false, st.st_mode, st.st_mtime, st.st_uid, st.st_gid}, in,
                           st.st_size, unlha::Method::lh5)) {
                std::fprintf(stderr, "pack failed: %s\n", w.error().c_str());
                return;
            }
        }
        w.finish();
        ::close(in);
        ::close(fd);
    }
    // dozo-cli from the same build tree, when the cli part is built.
    const fs::path cli =
        fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "dozo-cli";
    const bool haveCli = have(cli.c_str());
    const std::string line =
        std::string(dozo::contracts::kUnlhaListPrefix) + "\"" + archive.string() + "\"";
    const std::size_t size = listingSize(unlha, line);
    Series library, ours, lhasa;
    for (int round = 0; round < 5; ++round) {
        library.add(timed([&] { return listOnce(unlha, line, size); }));
        if (haveCli) ours.add(timed([&] { return shell(q(cli) + " list " + q(archive)); }));
        if (have("/usr/bin/lhasa"))
            lhasa.add(timed([&] { return shell("lhasa l " + q(archive)); }));
    }
    std::printf("listing %d entries (%.1f MiB archive; 5 rounds, seconds best / median)\n", count,
                static_cast<double>(sizeOf(archive)) / (1 << 20));
    const double ref = Series::median(lhasa.wall);
    for (const auto& [name, s] :
         {std::pair{"library call", &library}, std::pair{"dozo-cli list", &ours},
          std::pair{"lhasa l", &lhasa}}) {
        if (s->wall.empty()) continue;
        std::printf("  %-14s wall %7.3f / %7.3f  cpu %7.3f / %7.3f  %6.2fx lhasa\n", name,
                    Series::best(s->wall), Series::median(s->wall), Series::best(s->cpu),
                    Series::median(s->cpu), Series::median(s->wall) / ref);
    }
    if (!haveCli) std::printf("  dozo-cli: not built (add cli to DOZO_PARTS)\n");
    summary.listCount = count;
    if (ref > 0) {
        summary.listLibrary = Series::median(library.wall) / ref;
        if (haveCli) summary.listCli = Series::median(ours.wall) / ref;
    }
    std::printf("\n");
    fs::remove(archive);
}

void smallFilesTable(const fs::path& root, UnlhaFn* unlha, int count) {
    const fs::path dir = root / "small" / "files";
    fs::create_directories(dir);
    std::vector<CorpusFile> texts = makeCorpus(1);
    for (int i = 0; i < count; ++i) {
        const auto& src = texts[0].data;
        const std::size_t at = (static_cast<std::size_t>(i) * 7919) % (src.size() - 1024);
        std::ofstream(dir / ("f" + std::to_string(i) + ".txt"), std::ios::binary)
            .write(reinterpret_cast<const char*>(src.data() + at), 1024);
    }
    Series ours, jlha;
    const fs::path arc = root / "small.lzh";
    for (int round = 0; round < 3; ++round) {
        fs::remove(arc);
        ours.add(timed([&] {
            return callLibrary(unlha,
                               "u -a1 -r2 -m5 \"" + arc.string() + "\" \"" + dir.string() + "\"");
        }));
        if (!have("/usr/bin/jlha")) continue;
        fs::remove(arc);
        jlha.add(timed([&] {
            return shell("cd " + q(root / "small") + " && jlha -ao5 " + q(arc) + " files");
        }));
    }
    std::printf("packing %d files of 1 KiB (3 rounds, seconds best / median)\n", count);
    for (const auto& [name, s] : {std::pair{"ours", &ours}, std::pair{"jlha", &jlha}}) {
        if (s->wall.empty()) continue;
        std::printf("  %-6s wall %8.3f / %8.3f  cpu %8.3f / %8.3f\n", name, Series::best(s->wall),
                    Series::median(s->wall), Series::best(s->cpu), Series::median(s->cpu));
    }
    summary.smallCount = count;
    if (!jlha.wall.empty()) {
        summary.small = Series::median(jlha.wall) / Series::median(ours.wall);
        std::printf("  -> %.2fx faster than jlha (wall, median)\n", summary.small);
    }
    std::printf("\n");
    fs::remove_all(root / "small");
    fs::remove(arc);
}

void summaryTable() {
    // A table not run leaves its rows unmeasured: they show "-" and "n/a".
    auto row = [](const char* what, bool measured, double value, const char* unit, const char* goal,
                  bool met) {
        char now[32] = "-";
        if (measured) std::snprintf(now, sizeof now, "%.2f%s", value, unit);
        std::printf("%-46s %12s  %-28s %s\n", what, now, goal,
                    !measured ? "n/a"
                    : met     ? "met"
                              : "NOT met");
    };
    const Summary& m = summary;
    std::printf("\n%-46s %12s  %-28s %s\n", "what", "now", "goal", "");
    row("normal: archive size vs jlha, worst cell", m.worstSize > -1e8, m.worstSize, "%", "<= jlha",
        m.worstSize <= 0);
    row("normal: pack CPU vs jlha, least cell", m.leastCpu < 1e8, m.leastCpu, "x", ">= 6x",
        m.leastCpu >= 6);
    row("max: gain on text, source, Japanese, least", m.leastGain < 1e8, m.leastGain, "%",
        ">= 2 % smaller", m.leastGain >= 2);
    if (m.worstSize > -1e8)
        std::printf("  (corpus x method x level cells not met: %d)\n", m.cellsMissed);
    if (m.mediumTwo > 0)
        std::printf("%-46s %11.2fx  %-28s\n", "medium files: 2 cores against 1 (wall)",
                    m.mediumOne / m.mediumTwo, "(figure only)");
    row("  the pack's check of its output, largest share", m.checkShare >= 0, m.checkShare, "%",
        "small (<= 10 %)", m.checkShare <= 10);
    char what[64];
    std::snprintf(what, sizeof what, "adding 1 KiB to a %.0f MiB archive", m.archiveMiB);
    row(what, m.update > 0, m.update, "x", "<= 2x dd conv=fsync", m.update <= 2);
    std::snprintf(what, sizeof what, "dozo-cli list, %d entries", m.listCount);
    row(what, m.listCli > 0, m.listCli, "x", "<= 1.5x lhasa l", m.listCli <= 1.5);
    row("  its library call alone", m.listLibrary > 0, m.listLibrary, "x", "<= 1.5x lhasa l",
        m.listLibrary <= 1.5);
    std::snprintf(what, sizeof what, "pack %d files of 1 KiB, jlha wall / ours", m.smallCount);
    row(what, m.small > 0, m.small, "x", ">= 2x", m.small >= 2);
    std::snprintf(what, sizeof what, "stop inside a %.0f MiB file: pack", m.stopMiB);
    row(what, m.stopPack >= 0, m.stopPack, " s", "<= 1 s", m.stopPack <= 1);
    row("  extraction", m.stopExtract >= 0, m.stopExtract, " s", "<= 1 s", m.stopExtract <= 1);
}

// Extraction as the library does it: libarchive reads, we write the files.
bool extractWithLibarchive(const fs::path& archivePath, const fs::path& dest) {
    struct archive* a = archive_read_new();
    archive_read_support_format_lha(a);
    if (archive_read_open_filename(a, archivePath.c_str(), 1 << 16) != ARCHIVE_OK) return false;
    struct archive_entry* e;
    bool ok = true;
    while (ok && archive_read_next_header(a, &e) == ARCHIVE_OK) {
        const fs::path p = dest / archive_entry_pathname(e);
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return false;
        const void* buf;
        size_t len;
        la_int64_t off;
        int r;
        while ((r = archive_read_data_block(a, &buf, &len, &off)) == ARCHIVE_OK)
            ok = ok && ::write(fd, buf, len) == static_cast<ssize_t>(len);
        ok = ok && r == ARCHIVE_EOF;
        ::close(fd);
    }
    archive_read_free(a);
    return ok;
}

// Whether a folder holds anything, hidden files too.
bool listed(const fs::path& dir) {
    std::error_code ec;
    return fs::exists(dir, ec) && !fs::is_empty(dir, ec);
}

bool sameTree(const fs::path& dir, const std::vector<CorpusFile>& files) {
    for (const auto& f : files) {
        std::ifstream in(dir / f.name, std::ios::binary);
        std::vector<std::uint8_t> got{std::istreambuf_iterator<char>(in), {}};
        if (got != f.data) return false;
    }
    return true;
}

void extractTable(const fs::path& root) {
    const auto files = makeCorpus(16u << 20);
    const fs::path dir = root / "extract-in";
    writeTree(dir, files);
    const fs::path archive = root / "extract.lzh";
    if (!packOurs(dir, files, unlha::Method::lh5, archive)) return;
    std::printf("extracting a %.0f MiB -lh5- archive of ours\n",
                static_cast<double>(sizeOf(archive)) / (1 << 20));
    const fs::path xOurs = root / "x-ours";
    fs::create_directories(xOurs);
    // The corpus and archives written above are flushed first, so the timed
    // flush below holds only what the extraction wrote.
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::syncfs(rootFd);
    const auto t0 = Clock::now();
    const bool ok = extractWithLibarchive(archive, xOurs);
    const double ourX = secondsSince(t0);
    std::printf("  %-18s %10.3f s %s\n", "libarchive (ours)", ourX,
                ok && sameTree(xOurs, files) ? "" : "MISMATCH");
    // What libunlha32 adds so that a reported success survives a power cut:
    // one syncfs of the destination's file system at the end of the run.
    const auto s0 = Clock::now();
    const bool synced = ::syncfs(rootFd) == 0;
    const double flush = secondsSince(s0);
    ::close(rootFd);
    std::printf("  %-18s %10.3f s %s(%.0f%% of the extraction; durable total %.3f s)\n", "+ syncfs",
                flush, synced ? "" : "FAILED ", 100.0 * flush / ourX, ourX + flush);
    if (!have("/usr/bin/lhasa")) {
        std::printf("  lhasa: not installed\n");
        return;
    }
    const fs::path xLhasa = root / "x-lhasa";
    fs::create_directories(xLhasa);
    const Timing lt =
        timed([&] { return shell("cd " + q(xLhasa) + " && lhasa xq " + q(archive)); });
    std::printf("  %-18s %10.3f s %s\n", "lhasa", lt.wall,
                sameTree(xLhasa, files) ? "" : "MISMATCH");
    if (lt.wall > 0) std::printf("  -> %.2fx lhasa's speed\n", lt.wall / ourX);
}

// One command stopped as the window stops it: another thread asks once a
// quarter of the file's bytes is done, and the progress callback, asked about
// once a mebibyte, passes that on. Seconds from the asking to the return.
double stoppedInside(UnlhaFn* unlha, UnlhaSetProgressFn* setProgress, const std::string& line,
                     long long bytes) {
    struct Follow {
        std::atomic<long long> done{0};
        std::atomic<bool> stop{false};
    } follow;
    setProgress(
        [](void* context, long long, long long, long long done, long long) {
            auto* f = static_cast<Follow*>(context);
            f->done = done;
            return f->stop ? 1 : 0;
        },
        &follow);
    Clock::time_point asked{};
    std::thread asker([&] {
        while (follow.done < bytes / 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        asked = Clock::now();
        follow.stop = true;
    });
    std::vector<char> out(1 << 12);
    const int rc = unlha(nullptr, line.c_str(), out.data(), out.size());
    const auto returned = Clock::now();
    // A run that ended before the asker saw a quarter done lets it go.
    follow.done = bytes;
    asker.join();
    setProgress(nullptr, nullptr);
    if (rc != dozo::contracts::unlha::kCancelled) {
        std::fprintf(stderr, "not stopped (%d): %s\n", rc, out.data());
        return -1;
    }
    return std::chrono::duration<double>(returned - asked).count();
}

void stopTable(const fs::path& root, UnlhaFn* unlha, std::size_t fileBytes) {
    auto* setProgress = reinterpret_cast<UnlhaSetProgressFn*>(
        ::dlsym(libraryHandle, dozo::contracts::kUnlhaSetProgress));
    if (setProgress == nullptr) return;
    // One file of this machine's text, source and programs, as a user's
    // large file would mix them.
    const fs::path file = root / "large.bin";
    {
        std::ofstream out(file, std::ios::binary);
        const auto pieces = makeCorpus(32u << 20);
        for (std::size_t written = 0; written < fileBytes;)
            for (const auto& f : pieces) {
                const std::size_t n = std::min(f.data.size(), fileBytes - written);
                out.write(reinterpret_cast<const char*>(f.data.data()),
                          static_cast<std::streamsize>(n));
                written += n;
                if (written == fileBytes) break;
            }
    }
    const long long bytes = static_cast<long long>(fileBytes);
    summary.stopMiB = static_cast<double>(fileBytes) / (1 << 20);
    std::printf("stopping inside one %.0f MiB file, a quarter in\n", summary.stopMiB);
    const fs::path archive = root / "large.lzh";
    const std::string pack = "u -a1 -m5 \"" + archive.string() + "\" \"" + file.string() + "\"";
    summary.stopPack = stoppedInside(unlha, setProgress, pack, bytes);
    std::printf("  %-34s %8.3f s %s\n", "pack: from the stop to its return", summary.stopPack,
                fs::exists(archive) ? "ARCHIVE WRITTEN" : "(no archive)");
    const Timing whole = timed([&] { return callLibrary(unlha, pack); });
    std::printf("  %-34s %8.3f s (what the stop saved: about %.1f s)\n", "pack of the whole file",
                whole.wall, whole.wall * 3 / 4);
    const fs::path out = root / "stop-out";
    summary.stopExtract = stoppedInside(
        unlha, setProgress, "x -a1 \"" + archive.string() + "\" \"" + out.string() + "/\"", bytes);
    std::printf("  %-34s %8.3f s %s\n", "unpack: from the stop to its return", summary.stopExtract,
                listed(out) ? "PART FILE LEFT" : "(no part file)");
}

}  // namespace

int main(int argc, char** argv) {
    // Each table as soon as it is measured, also into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::size_t archiveMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 312;
    const int smallFiles = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int listed = argc > 3 ? std::atoi(argv[3]) : 100000;
    const std::string tables = argc > 4 ? argv[4] : "pack,medium,update,list,small,extract,stop";
    auto runs = [&tables](const std::string& name) {
        return ("," + tables + ",").find("," + name + ",") != std::string::npos;
    };
    const fs::path root =
        fs::temp_directory_path() / ("unlha32_bench." + std::to_string(::getpid()));
    fs::create_directories(root);
    // The library reads its settings from here; the user's stay untouched.
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    const UnlhaFn* unlha = loadLibrary();
    if (runs("pack")) compressionTable(root);
    if (runs("medium")) mediumTable(root);
    if (unlha != nullptr) {
        if (runs("update")) updateTable(root, unlha, archiveMiB << 20);
        if (runs("list")) listTable(root, unlha, listed);
        if (runs("small")) smallFilesTable(root, unlha, smallFiles);
    }
    if (runs("extract")) extractTable(root);
    if (unlha != nullptr && runs("stop")) stopTable(root, unlha, archiveMiB << 20);
    summaryTable();
    fs::remove_all(root);
    return 0;
}
