#pragma once

#include <string>

#include "exit_code.h"
#include "unseal.h"

namespace dozo::rivo {

// Says why a package could not be opened, in the words both fronts use, and
// gives the exit code that goes with it. `package` is the package's name as
// shown; a failed read adds the system's own reason.
ExitCode report(Unsealed result, const std::string& package);

}  // namespace dozo::rivo
