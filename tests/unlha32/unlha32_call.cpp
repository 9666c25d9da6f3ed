// Runs one Unlha command line (or, as "--check PATH", one UnlhaCheckArchive) in
// a process of its own, for tests that watch or disturb a whole process
// (system-call fault injection). Prints the output buffer and exits with the
// result code. An output buffer size may follow.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr,
                     "usage: unlha32_call LIBRARY COMMANDLINE|\"--check PATH\" [OUTPUTSIZE]\n");
        return 100;
    }
    void* handle = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 101;
    }
    if (std::string(argv[2]).rfind("--check ", 0) == 0) {
        using Check = int (*)(const char*, int);
        const auto check = reinterpret_cast<Check>(::dlsym(handle, "UnlhaCheckArchive"));
        if (check == nullptr) return 102;
        return check(argv[2] + 8, 0) != 0 ? 0 : 1;
    }
    using Unlha = int (*)(void*, const char*, char*, unsigned long);
    const auto unlha = reinterpret_cast<Unlha>(::dlsym(handle, "Unlha"));
    if (unlha == nullptr) return 102;
    const unsigned long size = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 1 << 20;
    std::vector<char> output(size + 1, '\0');
    const int code = unlha(nullptr, argv[2], output.data(), size);
    std::fputs(output.data(), stdout);
    return code;
}
