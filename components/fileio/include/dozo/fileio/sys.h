#pragma once

#include <sys/types.h>

#include <cstddef>

namespace dozo::fileio {

// The system calls through which every byte is read, written or made durable. Tests
// replace entries to inject faults (a full disk, a failing fsync or rename);
// production code never touches this table.
struct SysCalls {
    ssize_t (*pread)(int fd, void* buf, size_t n, off_t offset);
    ssize_t (*write)(int fd, const void* buf, size_t n);
    int (*fsync)(int fd);
    int (*renameat)(int oldDirFd, const char* oldName, int newDirFd, const char* newName);
    // Opens the result file beside the destination (O_TMPFILE or a named one).
    int (*openat)(int dirFd, const char* name, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buf, size_t n);
    ssize_t (*pwrite)(int fd, const void* buf, size_t n, off_t offset);
    // The final mode and owner of a result.
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    // The extended attributes (access ACL included) a result takes over.
    int (*fsetxattr)(int fd, const char* name, const void* value, size_t size, int flags);
};

SysCalls& sysCalls();

}  // namespace dozo::fileio
