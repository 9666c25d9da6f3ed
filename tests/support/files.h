#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace dozo::test {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes, mode_t mode = 0644);
bool exists(const std::filesystem::path& path);
mode_t modeOf(const std::filesystem::path& path);
// Names in a folder, hidden ones included, without "." and ".."; throws when
// the folder cannot be read (a vanished folder is not an empty one).
std::set<std::string> listDir(const std::filesystem::path& dir);
// Deterministic pseudo-random bytes (every value 0..255 turns up).
Bytes randomBytes(std::size_t n, std::uint32_t seed);
Bytes hex(const char* text);  // "61 62 ff" -> {0x61, 0x62, 0xff}

// A kernel file that claims more bytes than it gives (a sysfs attribute: its
// size says 4096, a read yields a few bytes), so reading it to its stated
// end is a real read error. Empty when the system has none.
std::string fileThatReadsShort();

// Runs body in a forked child and returns its exit status (or 128 + signal).
// fileSizeLimit > 0 caps the child's files with RLIMIT_FSIZE; SIGXFSZ is
// ignored so that writes past the cap fail with EFBIG as on a full device.
int runInChild(const std::function<int()>& body, off_t fileSizeLimit = 0);
// The same with the child's open files capped (RLIMIT_NOFILE) as well, when
// openFiles > 0.
struct ChildLimits {
    off_t fileSize = 0;
    rlim_t openFiles = 0;
};
int runInChild(const std::function<int()>& body, const ChildLimits& limits);

// The growth of the calling process's peak resident memory while body runs,
// in bytes; -1 where the system cannot measure it.
long long peakMemoryGrowth(const std::function<void()>& body);

// The PID of a child that has exited and been reaped: no process has it.
pid_t deadPid();

}  // namespace dozo::test
