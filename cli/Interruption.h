#pragma once

#include "core/jobs/JobControl.h"

namespace dozo::cli {

// While it lives, SIGINT and SIGTERM ask `control` to stop instead of ending
// the program: a pack, an unpack or a package then stops within a mebibyte,
// keeps every file whole and says so. A second signal ends the program at
// once, as without it. One at a time.
class Interruption {
public:
    explicit Interruption(JobControl& control);
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // The signal that came, 0 for none.
    int signal() const;
    // After what the run came to is said: ends the program by the signal
    // that stopped it, so a shell loop or make stops too. Returns when none
    // came.
    void endByIt() const;
};

}  // namespace dozo::cli
