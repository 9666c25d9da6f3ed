// The child of every fault run: calls one entry point of one of our libraries
// (loaded from the build tree as the application loads it) and exits with its
// result, or runs a static program under the tracer. Usage:
//   fault_runner rozu METHOD SOURCE DESTINATION WORK
//   fault_runner vod SOURCE DESTINATION WORK KEY       (VovBCMKC)
//   fault_runner vodl FILE WORK KEY                    (VovBCMKCL)
//   fault_runner unlha COMMAND-LINE
//   fault_runner check ARCHIVE                         (0 when valid, 1 when not)
//   fault_runner rivo SOURCE DESTINATION PASSWORD
//   fault_runner trace PROGRAM ARGS...
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "loaded_library.h"
#include "tracer.h"

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
