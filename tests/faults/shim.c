/* Preloaded into a child that runs one of our entry points: counts the file
 * system calls made on paths below $DOZO_FAULT_ROOT and, at the call numbered
 * $DOZO_FAULT_AT, fails it with EIO or ENOSPC, makes it short, or kills the
 * process. Every counted call is appended to $DOZO_FAULT_LOG as one line
 * ("write", or "!write" for the call that got the fault), so a clean run tells
 * the driver how many calls there are to walk and what each one is.
 *
 * Calls outside the root (the dynamic loader, libraries, settings) are passed
 * through uncounted, so the sequence is that of the entry point alone. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include "fault_plan.h"

/* Fortified entry points, declared here because only fortified builds see them. */
ssize_t __read_chk(int fd, void* buf, size_t n, size_t size);
ssize_t __pread_chk(int fd, void* buf, size_t n, off_t at, size_t size);
ssize_t __pread64_chk(int fd, void* buf, size_t n, off64_t at, size_t size);
int __open_2(const char* path, int flags, ...);
int __open64_2(const char* path, int flags, ...);
int __openat_2(int dirFd, const char* path, int flags, ...);
int __openat64_2(int dirFd, const char* path, int flags, ...);

static struct FaultPlan gPlan;
static int gReady;

__attribute__((constructor)) static void init(void) {
    gReady = faultPlanFromEnvironment(&gPlan) > 0;
}

static int pathMatters(int dirFd, const char* path) {
    if (!gReady || path == NULL) return 0;
    char full[8192];
    if (path[0] == '/') {
        snprintf(full, sizeof full, "%s", path);
    } else {
        char dir[4096];
        char link[64];
        long n;
        if (dirFd == AT_FDCWD) {
            n = syscall(SYS_getcwd, dir, sizeof dir) > 0 ? (long)strlen(dir) : -1;
        } else {
            snprintf(link, sizeof link, "/proc/self/fd/%d", dirFd);
            n = syscall(SYS_readlinkat, AT_FDCWD, link, dir, sizeof dir - 1);
        }
        if (n < 0) return 0;
        dir[n] = '\0';
        snprintf(full, sizeof full, "%s/%s", dir, path);
    }
    return faultPlanCounts(&gPlan, full);
}

static int fdMatters(int fd) {
    if (!gReady || fd < 0) return 0;
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const long n = syscall(SYS_readlinkat, AT_FDCWD, link, target, sizeof target - 1);
    if (n < 0) return 0;
    target[n] = '\0';
    return faultPlanCounts(&gPlan, target);
}

static int namesMatter(int fromDir, const char* from, int toDir, const char* to) {
    return pathMatters(fromDir, from) || pathMatters(toDir, to);
}

/* Counts a call that matters. -1 with errno set when it is to fail (the call
 * is not made); a short fault halves *count (a transfer's; NULL for others). */
static int faulted(const char* name, size_t* count) {
    const int kind = faultPlanNext(&gPlan, name, count != NULL);
    if (kind == FAULT_KILL) syscall(SYS_kill, getpid(), SIGKILL);
    if (kind == FAULT_SHORT && *count > 1) *count /= 2;
    if (kind == FAULT_NONE || kind == FAULT_SHORT) return 0;
    errno = faultErrno(kind);
    return -1;
}

#define REAL(name)                 \
    static __typeof__(&name) real; \
    if (real == NULL) real = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

#define CALL(ret, name, params, matters, count, args)      \
    ret name params {                                      \
        REAL(name);                                        \
        if ((matters) && faulted(#name, count)) return -1; \
        return real args;                                  \
    }
/* A read or write: a short fault halves the count n. */
#define TRANSFER_CALL(name, params, args) CALL(ssize_t, name, params, fdMatters(fd), &n, args)
#define FD_CALL(name, params, args) CALL(int, name, params, fdMatters(fd), NULL, args)

TRANSFER_CALL(read, (int fd, void* buf, size_t n), (fd, buf, n))
TRANSFER_CALL(write, (int fd, const void* buf, size_t n), (fd, buf, n))
TRANSFER_CALL(pread, (int fd, void* buf, size_t n, off_t at), (fd, buf, n, at))
TRANSFER_CALL(pread64, (int fd, void* buf, size_t n, off64_t at), (fd, buf, n, at))
TRANSFER_CALL(pwrite, (int fd, const void* buf, size_t n, off_t at), (fd, buf, n, at))
TRANSFER_CALL(pwrite64, (int fd, const void* buf, size_t n, off64_t at), (fd, buf, n, at))
TRANSFER_CALL(__read_chk, (int fd, void* buf, size_t n, size_t size), (fd, buf, n, size))
TRANSFER_CALL(__pread_chk, (int fd, void* buf, size_t n, off_t at, size_t size),
              (fd, buf, n, at, size))
TRANSFER_CALL(__pread64_chk, (int fd, void* buf, size_t n, off64_t at, size_t size),
              (fd, buf, n, at, size))
FD_CALL(fsync, (int fd), (fd))
FD_CALL(fdatasync, (int fd), (fd))
FD_CALL(ftruncate, (int fd, off_t len), (fd, len))
FD_CALL(ftruncate64, (int fd, off64_t len), (fd, len))
FD_CALL(fallocate, (int fd, int mode, off_t at, off_t len), (fd, mode, at, len))
FD_CALL(fallocate64, (int fd, int mode, off64_t at, off64_t len), (fd, mode, at, len))
CALL(int, linkat, (int fromDir, const char* from, int toDir, const char* to, int flags),
     namesMatter(fromDir, from, toDir, to), NULL, (fromDir, from, toDir, to, flags))
CALL(int, rename, (const char* from, const char* to), namesMatter(AT_FDCWD, from, AT_FDCWD, to),
     NULL, (from, to))
CALL(int, renameat, (int fromDir, const char* from, int toDir, const char* to),
     namesMatter(fromDir, from, toDir, to), NULL, (fromDir, from, toDir, to))
CALL(int, renameat2, (int fromDir, const char* from, int toDir, const char* to, unsigned flags),
     namesMatter(fromDir, from, toDir, to), NULL, (fromDir, from, toDir, to, flags))

/* With DOZO_FAULT_NO_TMPFILE the root behaves like a file system without
 * unnamed temporaries, so the named fallbacks are walked too. Not counted:
 * it is the file system, not a fault. */
static int refuseUnnamed(int flags) {
    if (!gPlan.noTmpfile || (flags & O_TMPFILE) != O_TMPFILE) return 0;
    errno = EOPNOTSUPP;
    return 1;
}

/* The open family takes a mode only with O_CREAT or O_TMPFILE. */
#define OPEN_CALL(name, params, dirFd, args)                                                       \
    int name params {                                                                              \
        REAL(name);                                                                                \
        va_list ap;                                                                                \
        va_start(ap, flags);                                                                       \
        const mode_t mode =                                                                        \
            (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;   \
        va_end(ap);                                                                                \
        if (pathMatters(dirFd, path) && (refuseUnnamed(flags) || faulted(#name, NULL))) return -1; \
        return real args;                                                                          \
    }
#define PATH_OPEN(name) \
    OPEN_CALL(name, (const char* path, int flags, ...), AT_FDCWD, (path, flags, mode))
#define DIR_OPEN(name)                                                    \
    OPEN_CALL(name, (int dirFd, const char* path, int flags, ...), dirFd, \
              (dirFd, path, flags, mode))

PATH_OPEN(open)
PATH_OPEN(open64)
PATH_OPEN(__open_2)
PATH_OPEN(__open64_2)
DIR_OPEN(openat)
DIR_OPEN(openat64)
DIR_OPEN(__openat_2)
DIR_OPEN(__openat64_2)
