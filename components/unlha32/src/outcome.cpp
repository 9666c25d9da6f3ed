#include "outcome.h"

#include <sys/stat.h>

#include <cstdio>

namespace unlha32 {

Outcome openFailure(const char* archivePath, std::string reason) {
    struct stat st {};
    return failure(
        ::stat(archivePath, &st) == 0 ? UNLHA_ERROR_NOT_ARCHIVE : UNLHA_ERROR_ARCHIVE_OPEN,
        std::move(reason));
}

void warn(const std::string& line) {
    std::fprintf(stderr, "unlha32: %s\n", line.c_str());
}

}  // namespace unlha32
