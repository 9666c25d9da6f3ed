// Runs one Unlha command line (or, as "--check PATH", one UnlhaCheckArchive; as
// "--config", one UnlhaConfigDialog) in a process of its own, for tests that
// watch or disturb a whole process (system-call fault injection, what it
// prints, what it maps). Prints the output buffer and exits with the result
// code. An output buffer size may follow, and then a file that receives a copy
// of /proc/self/maps taken after the call.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

int call(void* handle, const std::string& what, unsigned long size) {
    if (what.rfind("--check ", 0) == 0) {
        using Check = int (*)(const char*, int);
        const auto check = reinterpret_cast<Check>(::dlsym(handle, "UnlhaCheckArchive"));
        if (check == nullptr) return 102;
        return check(what.c_str() + 8, 0) != 0 ? 0 : 1;
    }
    if (what == "--config") {
        using Config = int (*)(void*, char*, int);
        const auto config = reinterpret_cast<Config>(::dlsym(handle, "UnlhaConfigDialog"));
        if (config == nullptr) return 102;
        char options[1] = {'\0'};
        return config(nullptr, options, 0);
    }
    using Unlha = int (*)(void*, const char*, char*, unsigned long);
    const auto unlha = reinterpret_cast<Unlha>(::dlsym(handle, "Unlha"));
    if (unlha == nullptr) return 102;
    std::vector<char> output(size + 1, '\0');
    const int code = unlha(nullptr, what.c_str(), output.data(), size);
    std::fputs(output.data(), stdout);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr,
                     "usage: unlha32_call LIBRARY COMMANDLINE|\"--check PATH\"|--config "
                     "[OUTPUTSIZE [MAPSFILE]]\n");
        return 100;
    }
    void* handle = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 101;
    }
    const unsigned long size = argc >= 4 ? std::strtoul(argv[3], nullptr, 10) : 1 << 20;
    const int code = call(handle, argv[2], size);
    if (argc == 5) {
        std::ofstream(argv[4]) << std::ifstream("/proc/self/maps").rdbuf();
    }
    return code;
}
