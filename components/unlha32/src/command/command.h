#pragma once

#include "command/outcome.h"

namespace unlha32 {

// Parses and runs one command line with the user's current settings, or the
// values its switches give in their place.
Outcome runCommand(const char* commandLine);

}  // namespace unlha32
