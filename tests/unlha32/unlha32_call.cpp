// Runs one Unlha command line in a process of its own, for tests that watch or
// disturb a whole process (system-call fault injection). Prints the output
// buffer and exits with the result code.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: unlha32_call LIBRARY COMMANDLINE\n");
        return 100;
    }
    void* handle = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 101;
    }
    using Unlha = int (*)(void*, const char*, char*, unsigned long);
    const auto unlha = reinterpret_cast<Unlha>(::dlsym(handle, "Unlha"));
    if (unlha == nullptr) return 102;
    std::vector<char> output(1 << 20);
    const int code = unlha(nullptr, argv[2], output.data(), output.size());
    std::fputs(output.data(), stdout);
    return code;
}
