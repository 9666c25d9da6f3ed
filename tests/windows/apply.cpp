// Runs one library call in place on a file. Built for Linux and for Windows
// from this one source, it lets a test compare the bytes both libraries leave.
//   apply <Rozu32 method | VovBCMKC> <file> <work file> [key]
#include <cstdio>
#include <exception>
#include <string>

#include "loaded_vod32.h"
#include "reference.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: apply <method> <file> <work file> [key]\n");
        return 64;
    }
    const std::string method = argv[1];
    try {
        const int result =
            method == "VovBCMKC"
                ? dozo::test::vod32().encrypt(nullptr, argv[2], argv[2], argv[3],
                                              argc > 4 ? argv[4] : "")
                : dozo::test::method(method).call(nullptr, argv[2], argv[2], argv[3]);
        if (result != 0) std::fprintf(stderr, "%s returned %d\n", method.c_str(), result);
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 70;
    }
}
