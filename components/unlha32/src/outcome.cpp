#include "outcome.h"

#include <cstdio>

namespace unlha32 {

void warn(const std::string& line) {
    std::fprintf(stderr, "unlha32: %s\n", line.c_str());
}

}  // namespace unlha32
