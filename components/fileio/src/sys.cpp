#include "dozo/fileio/sys.h"

#include <stdio.h>
#include <unistd.h>

namespace dozo::fileio {

SysCalls& sysCalls() {
    static SysCalls calls{::pread, ::write, ::fsync, ::renameat};
    return calls;
}

}  // namespace dozo::fileio
