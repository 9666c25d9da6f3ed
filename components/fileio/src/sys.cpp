#include "dozo/fileio/sys.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace dozo::fileio {

SysCalls& sysCalls() {
    static SysCalls calls{::pread,
                          ::write,
                          ::fsync,
                          ::renameat,
                          [](int dirFd, const char* name, int flags, mode_t mode) {
                              return ::openat(dirFd, name, flags, mode);
                          },
                          ::read,
                          ::pwrite,
                          ::fchmod,
                          ::fchown,
                          ::fsetxattr};
    return calls;
}

}  // namespace dozo::fileio
