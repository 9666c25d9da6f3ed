#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "dozo/fileio/printable.h"
#include "unlha32.h"

namespace unlha32 {

// The result of one command: a published code and, for a failure, the one-line
// reason the caller shows under its own error message.
struct Outcome {
    int code = UNLHA_OK;
    std::string reason;
    std::string output;        // what a successful command hands back
    bool outputWhole = false;  // output is a listing: never cut, refused when too long
    bool printed = false;      // the reason already went to standard error

    bool failed() const { return code != UNLHA_OK; }
};

inline Outcome failure(int code, std::string reason) {
    return {code, std::move(reason), {}, false, false};
}

// An archive that could not be opened for reading: "not an archive" when the
// file is there, "cannot open" when it is not.
Outcome openFailure(const char* archivePath, std::string reason);

// One line on standard error, for problems that do not end the command (an entry
// refused during extraction, a special file left out of a pack).
void warn(const std::string& line);

// Names are shown through the one escaper every program of ours uses.
using dozo::fileio::printable;

}  // namespace unlha32
