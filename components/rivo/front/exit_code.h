#pragma once

namespace dozo::rivo {

// Exit codes of a package, for scripts that run it.
enum ExitCode : int {
    kExitOk = 0,
    kExitWrongPassword = 1,
    kExitUsage = 2,      // bad options, or no way to ask for a password
    kExitDamaged = 3,    // damaged, truncated, not a package, unsupported or hostile header
    kExitExists = 4,     // the output exists and -f was not given
    kExitIo = 5,         // reading the package or writing the output failed; out of memory
    kExitCancelled = 6,  // no password was entered
};

}  // namespace dozo::rivo
