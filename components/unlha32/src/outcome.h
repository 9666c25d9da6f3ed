#pragma once

#include <string>
#include <utility>

#include "unlha32.h"

namespace unlha32 {

// The result of one command: a published code and, for a failure, the one-line
// reason the caller shows under its own error message.
struct Outcome {
    int code = UNLHA_OK;
    std::string reason;

    bool failed() const { return code != UNLHA_OK; }
};

inline Outcome failure(int code, std::string reason) {
    return {code, std::move(reason)};
}

// One line on standard error, for problems that do not end the command (an entry
// refused during extraction, a special file left out of a pack).
void warn(const std::string& line);

}  // namespace unlha32
