#pragma once

namespace dozo::faults {

// Runs a program the preloaded shim cannot reach (a static executable) under
// ptrace, counting and faulting the same system calls on the same paths as
// the shim, configured by the same environment. Returns the program's exit
// status; when the program is killed, this process dies by the same signal.
int traceProgram(char** argv);

}  // namespace dozo::faults
