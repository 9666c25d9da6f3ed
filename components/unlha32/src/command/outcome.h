#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "dozo/fileio/printable.h"
#include "unlha32.h"

namespace unlha32 {

// What a failure is about, for callers that word their own message
// (UnlhaSetFailureReport): a cause, the file's name, the system's errno.
struct Fault {
    Fault(int c = UNLHA_CAUSE_NONE, std::string n = {}, int e = 0)
        : cause(c), name(std::move(n)), error(e) {}
    int cause;
    std::string name;
    int error;
};

// The result of one command: a published code and, for a failure, the one-line
// reason the caller shows under its own error message, and its parts.
struct Outcome {
    int code = UNLHA_OK;
    std::string reason;
    std::string output;        // what a successful command hands back
    bool outputWhole = false;  // output is a listing: never cut, refused when too long
    Fault fault{};

    bool failed() const { return code != UNLHA_OK; }
};

inline Outcome failure(int code, std::string reason) {
    return {code, std::move(reason), {}, false};
}

inline Outcome failure(int code, Fault fault, std::string reason) {
    return {code, std::move(reason), {}, false, std::move(fault)};
}

// The system's text for an errno, for the reasons in output.
std::string errorText(int error);

// An archive that could not be read: "not an archive" when the file opened
// but is none, "no such archive" when it is missing, else "cannot open" with
// the reason; `error` is the open's errno.
Outcome openFailure(const char* archivePath, std::string reason, bool opened, int error);

// A problem that does not end the command (a special file left out of a pack).
// A library never prints: the line goes to the Warnings of the call running on
// this thread, and nowhere when there is none.
void warn(const std::string& line);

// Collects what warn() says on this thread while it lives; one per call of an
// export.
class Warnings {
public:
    Warnings();
    ~Warnings();
    Warnings(const Warnings&) = delete;
    Warnings& operator=(const Warnings&) = delete;

    // One "警告: " line each, in the order they were said.
    const std::string& lines() const { return lines_; }

private:
    friend void warn(const std::string& line);
    std::string lines_;
};

// Names are shown through the one escaper every program of ours uses.
using dozo::fileio::printable;

}  // namespace unlha32
