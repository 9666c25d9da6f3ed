// Stand-ins for our libraries and the archiver, built only for the tests: the
// version each answers is read from an environment variable, so one build
// covers every widening case.
#pragma once

#include <cstdlib>

inline int fakeVersion(const char* variable, int fallback) {
    const char* text = std::getenv(variable);
    if (!text || !*text) return fallback;
    // Through unsigned: "0xFFFF0001" must keep its bit pattern.
    return static_cast<int>(static_cast<unsigned int>(std::strtoull(text, nullptr, 0)));
}
