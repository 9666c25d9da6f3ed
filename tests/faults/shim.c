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

static char gRoot[4096];
static size_t gRootLen;
static long gAt;
static int gKind = FAULT_NONE;
static int gLogFd = -1;
static long gCount;
static int gReady;
static int gNoTmpfile;
static char gWhat[4096]; /* the path of the call being counted, for the log */

/* Keeps the path below the root for the log line. */
static int noteIfBelow(const char* path) {
    if (!faultPathBelow(path, gRoot, gRootLen)) return 0;
    snprintf(gWhat, sizeof gWhat, "%s", path[gRootLen] == '/' ? path + gRootLen + 1 : ".");
    return 1;
}

__attribute__((constructor)) static void init(void) {
    const char* root = getenv("DOZO_FAULT_ROOT");
    const char* log = getenv("DOZO_FAULT_LOG");
    if (root == NULL || log == NULL || strlen(root) >= sizeof gRoot) return;
    strcpy(gRoot, root);
    gRootLen = strlen(gRoot);
    const char* at = getenv("DOZO_FAULT_AT");
    gAt = at != NULL ? atol(at) : 0;
    gKind = faultKindFromName(getenv("DOZO_FAULT_KIND"));
    gNoTmpfile = getenv("DOZO_FAULT_NO_TMPFILE") != NULL;
    /* Raw system calls: our own bookkeeping must never count or fail. */
    gLogFd =
        (int)syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    gReady = gLogFd >= 0;
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
    return noteIfBelow(full);
}

static int fdMatters(int fd) {
    if (!gReady || fd < 0) return 0;
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const long n = syscall(SYS_readlinkat, AT_FDCWD, link, target, sizeof target - 1);
    if (n < 0) return 0;
    target[n] = '\0';
    return noteIfBelow(target);
}

/* Counts a call that matters and says what to do with it. */
static int decide(const char* name, int canBeShort) {
    const long n = __atomic_add_fetch(&gCount, 1, __ATOMIC_SEQ_CST);
    const int fire = n == gAt && gKind != FAULT_NONE && (gKind != FAULT_SHORT || canBeShort);
    char line[4200];
    const int len = snprintf(line, sizeof line, "%s%s %s\n", fire ? "!" : "", name, gWhat);
    syscall(SYS_write, gLogFd, line, (size_t)len);
    if (!fire) return FAULT_NONE;
    if (gKind == FAULT_KILL) syscall(SYS_kill, getpid(), SIGKILL);
    return gKind;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

/* An injected failure: -1 with errno set, the call not made. */
static int failWith(int kind) {
    errno = kind == FAULT_ENOSPC ? ENOSPC : EIO;
    return -1;
}

static size_t shortened(size_t count) {
    return count > 1 ? count / 2 : count;
}

/* A read or write: a short fault halves the count. */
#define TRANSFER_CALL(ret, name, params, fd, count, args) \
    ret name params {                                     \
        static __typeof__(&name) real;                    \
        if (real == NULL) real = REAL(name);              \
        if (fdMatters(fd)) {                              \
            const int kind = decide(#name, 1);            \
            if (kind == FAULT_SHORT)                      \
                count = shortened(count);                 \
            else if (kind != FAULT_NONE)                  \
                return failWith(kind);                    \
        }                                                 \
        return real args;                                 \
    }

/* Any other call on a file descriptor. */
#define FD_CALL(ret, name, params, fd, args)               \
    ret name params {                                      \
        static __typeof__(&name) real;                     \
        if (real == NULL) real = REAL(name);               \
        if (fdMatters(fd)) {                               \
            const int kind = decide(#name, 0);             \
            if (kind != FAULT_NONE) return failWith(kind); \
        }                                                  \
        return real args;                                  \
    }

TRANSFER_CALL(ssize_t, read, (int fd, void* buf, size_t n), fd, n, (fd, buf, n))
TRANSFER_CALL(ssize_t, write, (int fd, const void* buf, size_t n), fd, n, (fd, buf, n))
TRANSFER_CALL(ssize_t, pread, (int fd, void* buf, size_t n, off_t at), fd, n, (fd, buf, n, at))
TRANSFER_CALL(ssize_t, pread64, (int fd, void* buf, size_t n, off64_t at), fd, n, (fd, buf, n, at))
TRANSFER_CALL(ssize_t, pwrite, (int fd, const void* buf, size_t n, off_t at), fd, n,
              (fd, buf, n, at))
TRANSFER_CALL(ssize_t, pwrite64, (int fd, const void* buf, size_t n, off64_t at), fd, n,
              (fd, buf, n, at))
TRANSFER_CALL(ssize_t, __read_chk, (int fd, void* buf, size_t n, size_t size), fd, n,
              (fd, buf, n, size))
TRANSFER_CALL(ssize_t, __pread_chk, (int fd, void* buf, size_t n, off_t at, size_t size), fd, n,
              (fd, buf, n, at, size))
TRANSFER_CALL(ssize_t, __pread64_chk, (int fd, void* buf, size_t n, off64_t at, size_t size), fd, n,
              (fd, buf, n, at, size))
FD_CALL(int, fsync, (int fd), fd, (fd))
FD_CALL(int, fdatasync, (int fd), fd, (fd))
FD_CALL(int, ftruncate, (int fd, off_t len), fd, (fd, len))
FD_CALL(int, ftruncate64, (int fd, off64_t len), fd, (fd, len))
FD_CALL(int, fallocate, (int fd, int mode, off_t at, off_t len), fd, (fd, mode, at, len))
FD_CALL(int, fallocate64, (int fd, int mode, off64_t at, off64_t len), fd, (fd, mode, at, len))

/* With DOZO_FAULT_NO_TMPFILE the root behaves like a file system without
 * unnamed temporaries, so the named fallbacks are walked too. Not counted:
 * it is the file system, not a fault. */
static int refuseUnnamed(int flags) {
    if (!gNoTmpfile || (flags & O_TMPFILE) != O_TMPFILE) return 0;
    errno = EOPNOTSUPP;
    return 1;
}

/* The open family takes a mode only with O_CREAT or O_TMPFILE. */
static mode_t modeArg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

/* -1 (errno set) when this open is to fail, else 0. */
static int openFault(const char* name, int dirFd, const char* path, int flags) {
    if (!pathMatters(dirFd, path)) return 0;
    if (refuseUnnamed(flags)) return -1;
    const int kind = decide(name, 0);
    return kind == FAULT_NONE ? 0 : failWith(kind);
}

#define REAL_WITH_MODE(name, type)                          \
    static type real;                                       \
    if (real == NULL) real = (type)dlsym(RTLD_NEXT, #name); \
    va_list ap;                                             \
    va_start(ap, flags);                                    \
    const mode_t mode = modeArg(flags, ap);                 \
    va_end(ap);
#define OPEN_CALL(name, type)                                        \
    int name(const char* path, int flags, ...) {                     \
        REAL_WITH_MODE(name, type)                                   \
        if (openFault(#name, AT_FDCWD, path, flags) != 0) return -1; \
        return real(path, flags, mode);                              \
    }
#define OPENAT_CALL(name, type)                                   \
    int name(int dirFd, const char* path, int flags, ...) {       \
        REAL_WITH_MODE(name, type)                                \
        if (openFault(#name, dirFd, path, flags) != 0) return -1; \
        return real(dirFd, path, flags, mode);                    \
    }

typedef int (*OpenFn)(const char*, int, ...);
typedef int (*OpenAtFn)(int, const char*, int, ...);
OPEN_CALL(open, OpenFn)
OPEN_CALL(open64, OpenFn)
OPEN_CALL(__open_2, OpenFn)
OPEN_CALL(__open64_2, OpenFn)
OPENAT_CALL(openat, OpenAtFn)
OPENAT_CALL(openat64, OpenAtFn)
OPENAT_CALL(__openat_2, OpenAtFn)
OPENAT_CALL(__openat64_2, OpenAtFn)

static int namesMatter(int fromDir, const char* from, int toDir, const char* to) {
    return pathMatters(fromDir, from) || pathMatters(toDir, to);
}

#define NAME_CALL(ret, name, params, check, args)          \
    ret name params {                                      \
        static __typeof__(&name) real;                     \
        if (real == NULL) real = REAL(name);               \
        if (check) {                                       \
            const int kind = decide(#name, 0);             \
            if (kind != FAULT_NONE) return failWith(kind); \
        }                                                  \
        return real args;                                  \
    }

NAME_CALL(int, linkat, (int fromDir, const char* from, int toDir, const char* to, int flags),
          namesMatter(fromDir, from, toDir, to), (fromDir, from, toDir, to, flags))
NAME_CALL(int, rename, (const char* from, const char* to),
          namesMatter(AT_FDCWD, from, AT_FDCWD, to), (from, to))
NAME_CALL(int, renameat, (int fromDir, const char* from, int toDir, const char* to),
          namesMatter(fromDir, from, toDir, to), (fromDir, from, toDir, to))
NAME_CALL(int, renameat2,
          (int fromDir, const char* from, int toDir, const char* to, unsigned flags),
          namesMatter(fromDir, from, toDir, to), (fromDir, from, toDir, to, flags))
