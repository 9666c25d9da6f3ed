// The child of every fault run: calls one entry point of one of our libraries
// (loaded from the build tree as the application loads it) and exits with its
// result, or runs a static program under the tracer. Usage:
//   fault_runner rozu METHOD SOURCE DESTINATION WORK
//   fault_runner rozu-appended METHOD FILE WORK        (0 when the run refuses
//                                                       a file appended to as
//                                                       it reads it)
//   fault_runner vod SOURCE DESTINATION WORK KEY       (VovBCMKC)
//   fault_runner vodl FILE WORK KEY                    (VovBCMKCL)
//   fault_runner unlha COMMAND-LINE
//   fault_runner check ARCHIVE                         (0 when valid, 1 when not)
//   fault_runner rivo SOURCE DESTINATION PASSWORD
//   fault_runner trace PROGRAM ARGS...
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "loaded_library.h"
#include "tracer.h"

namespace {

// The file another writer appends to as soon as the library reads it.
struct {
    const char* path = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
    bool done = false;
} gAppend;

// Raw system calls: the shim must not count the other writer's calls, or
// the sequence of the library's own would differ from run to run.
void appendOnce(int fd) {
    struct stat st {};
    if (gAppend.path == nullptr || gAppend.done || ::fstat(fd, &st) != 0 ||
        st.st_dev != gAppend.dev || st.st_ino != gAppend.ino)
        return;
    gAppend.done = true;
    const long out = ::syscall(SYS_openat, AT_FDCWD, gAppend.path, O_WRONLY | O_APPEND | O_CLOEXEC);
    static const char kMore[] = "appended while read\n";
    if (out >= 0) ::syscall(SYS_write, out, kMore, sizeof kMore - 1);
    if (out >= 0) ::syscall(SYS_close, out);
}

}  // namespace

// Exported by this program (ENABLE_EXPORTS), so the library's reads of the
// source come here first, then go on to the shim or the C library.
extern "C" ssize_t pread(int fd, void* buffer, size_t n, off_t offset) {
    static const auto next =
        reinterpret_cast<ssize_t (*)(int, void*, size_t, off_t)>(::dlsym(RTLD_NEXT, "pread"));
    appendOnce(fd);
    return next(fd, buffer, n, offset);
}

namespace {

using TransformFn = std::int32_t(void*, const char*, const char*, const char*);
using KeyedFn = std::int32_t(void*, const char*, const char*, const char*, const char*);
using KeyedInPlaceFn = std::int32_t(void*, const char*, const char*, const char*);
using UnlhaFn = int(void*, const char*, char*, unsigned long);
using CheckFn = int(const char*, int);
using RivoFn = int(void*, const char*, const char*, const char*);

int run(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    using dozo::test::Library;
    if (what == "rozu" && argc == 6) {
        Library lib("libRozu32.so");
        return lib.get<TransformFn>(argv[2])(nullptr, argv[3], argv[4], argv[5]);
    }
    if (what == "rozu-appended" && argc == 5) {
        Library lib("libRozu32.so");
        struct stat st {};
        if (::stat(argv[3], &st) != 0) return 125;
        gAppend = {argv[3], st.st_dev, st.st_ino, false};
        const int rc = lib.get<TransformFn>(argv[2])(nullptr, argv[3], argv[3], argv[4]);
        // 3 is the read error; a 0 would mean the appended bytes were lost.
        if (rc == 3 && gAppend.done) return 0;
        return rc == 0 ? 124 : rc;
    }
    if (what == "vod" && argc == 6) {
        Library lib("libVod32.so");
        return lib.get<KeyedFn>("VovBCMKC")(nullptr, argv[2], argv[3], argv[4], argv[5]);
    }
    if (what == "vodl" && argc == 5) {
        Library lib("libVod32.so");
        return lib.get<KeyedInPlaceFn>("VovBCMKCL")(nullptr, argv[2], argv[3], argv[4]);
    }
    if (what == "unlha" && argc == 3) {
        Library lib("libunlha32.so");
        char output[2048];
        return lib.get<UnlhaFn>("Unlha")(nullptr, argv[2], output, sizeof output);
    }
    if (what == "check" && argc == 3) {
        Library lib("libunlha32.so");
        return lib.get<CheckFn>("UnlhaCheckArchive")(argv[2], 0) != 0 ? 0 : 1;
    }
    if (what == "rivo" && argc == 5) {
        // The test build: packages with the cheapest key cost a package
        // accepts, so one can be built hundreds of times.
        Library lib("librivo.so", "tests/lib");
        return lib.get<RivoFn>("rivo")(nullptr, argv[2], argv[3], argv[4]);
    }
    if (what == "trace" && argc >= 3) return dozo::faults::traceProgram(argv + 2);
    std::fprintf(stderr, "fault_runner: unknown call\n");
    return 125;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fault_runner: %s\n", e.what());
        return 125;
    }
}
