// Packs a 64 MiB mixed corpus with our archive writer and with jlha (the same
// method), then extracts our archive through libarchive (as libunlha32 does)
// and with lhasa. Prints times and sizes side by side; jlha and lhasa are the
// baselines, measured in the same run (lhasa does not flush what it writes;
// the "+ syncfs" row is what our extraction pays to be durable). A missing
// peer is reported and skipped.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "corpus.h"
#include "lha/archive_writer.h"

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

double runTimed(const std::string& cmd) {
    const auto t0 = Clock::now();
    const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    const double s = secondsSince(t0);
    if (rc != 0) {
        std::fprintf(stderr, "command failed (%d): %s\n", rc, cmd.c_str());
        return -1;
    }
    return s;
}

std::uintmax_t sizeOf(const fs::path& p) {
    std::error_code ec;
    const auto n = fs::file_size(p, ec);
    return ec ? 0 : n;
}

bool packOurs(const fs::path& dir, const std::vector<CorpusFile>& files, unlha::Method m,
              const fs::path& out) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    unlha::ArchiveWriter w(fd);
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

bool sameTree(const fs::path& dir, const std::vector<CorpusFile>& files) {
    for (const auto& f : files) {
        std::ifstream in(dir / f.name, std::ios::binary);
        std::vector<std::uint8_t> got{std::istreambuf_iterator<char>(in), {}};
        if (got != f.data) return false;
    }
    return true;
}

}  // namespace

int main() {
    const fs::path root =
        fs::temp_directory_path() / ("unlha32_bench." + std::to_string(::getpid()));
    const fs::path corpusDir = root / "corpus";
    fs::create_directories(corpusDir);

    const auto files = makeCorpus(64u << 20);
    std::uintmax_t total = 0;
    for (const auto& f : files) {
        std::ofstream(corpusDir / f.name, std::ios::binary)
            .write(reinterpret_cast<const char*>(f.data.data()),
                   static_cast<std::streamsize>(f.data.size()));
        total += f.data.size();
    }
    std::printf("corpus: %zu files, %.1f MiB (text, records, code-like binary)\n\n", files.size(),
                static_cast<double>(total) / (1 << 20));

    std::printf("%-6s %-10s %10s %10s %14s %8s\n", "method", "packer", "seconds", "cpu s", "bytes",
                "ratio");
    std::string names;
    for (const auto& f : files) names += " " + f.name;
    fs::path lh5Archive;
    for (auto [m, digit] :
         {std::pair{unlha::Method::lh5, '5'}, std::pair{unlha::Method::lh7, '7'}}) {
        const std::string id = unlha::params(m).id;
        const fs::path ours = root / ("ours" + id + ".lzh");
        const auto t0 = Clock::now();
        const double c0 = cpuSeconds(RUSAGE_SELF);
        if (!packOurs(corpusDir, files, m, ours)) return 1;
        const double ourTime = secondsSince(t0);
        const double ourCpu = cpuSeconds(RUSAGE_SELF) - c0;
        const auto ourSize = sizeOf(ours);
        std::printf("%-6s %-10s %10.3f %10.3f %14ju %7.2f%%\n", id.c_str(), "ours", ourTime, ourCpu,
                    ourSize, 100.0 * static_cast<double>(ourSize) / static_cast<double>(total));
        if (m == unlha::Method::lh5) lh5Archive = ours;
        if (!have("/usr/bin/jlha")) {
            std::printf("%-6s %-10s   (not installed)\n", id.c_str(), "jlha");
            continue;
        }
        const fs::path theirs = root / ("jlha" + id + ".lzh");
        const double jc0 = cpuSeconds(RUSAGE_CHILDREN);
        const double jt = runTimed("cd '" + corpusDir.string() + "' && jlha -ao" + digit + " '" +
                                   theirs.string() + "'" + names);
        const double jc = cpuSeconds(RUSAGE_CHILDREN) - jc0;
        const auto js = sizeOf(theirs);
        std::printf("%-6s %-10s %10.3f %10.3f %14ju %7.2f%%\n", id.c_str(), "jlha", jt, jc, js,
                    100.0 * static_cast<double>(js) / static_cast<double>(total));
        if (jt > 0)
            std::printf("%-6s %-10s %9.1fx faster (%.1fx less CPU), size %+.2f%% against jlha\n",
                        id.c_str(), "->", jt / ourTime, jc / ourCpu,
                        100.0 * (static_cast<double>(ourSize) - static_cast<double>(js)) /
                            static_cast<double>(js));
    }

    std::printf("\nextracting our -lh5- archive\n");
    const fs::path xOurs = root / "x-ours";
    fs::create_directories(xOurs);
    // The corpus and archives written above are flushed first, so the timed
    // flush below holds only what the extraction wrote.
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::syncfs(rootFd);
    const auto t0 = Clock::now();
    const bool ok = extractWithLibarchive(lh5Archive, xOurs);
    const double ourX = secondsSince(t0);
    std::printf("%-18s %10.3f s %s\n", "libarchive (ours)", ourX,
                ok && sameTree(xOurs, files) ? "" : "MISMATCH");
    // What libunlha32 adds so that a reported success survives a power cut:
    // one syncfs of the destination's file system at the end of the run.
    const auto s0 = Clock::now();
    const bool synced = ::syncfs(rootFd) == 0;
    const double flush = secondsSince(s0);
    ::close(rootFd);
    std::printf("%-18s %10.3f s %s(%.0f%% of the extraction; durable total %.3f s)\n", "+ syncfs",
                flush, synced ? "" : "FAILED ", 100.0 * flush / ourX, ourX + flush);
    if (have("/usr/bin/lhasa")) {
        const fs::path xLhasa = root / "x-lhasa";
        fs::create_directories(xLhasa);
        const double lt =
            runTimed("cd '" + xLhasa.string() + "' && lhasa xq '" + lh5Archive.string() + "'");
        std::printf("%-18s %10.3f s %s\n", "lhasa", lt, sameTree(xLhasa, files) ? "" : "MISMATCH");
        if (lt > 0) std::printf("%-18s %9.2fx lhasa's speed\n", "->", lt / ourX);
    } else {
        std::printf("lhasa: not installed\n");
    }
    fs::remove_all(root);
    return 0;
}
