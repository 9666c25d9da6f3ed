/* What the preloaded shim and the tracer of static programs share: the plan
 * of one run, read from the environment, which paths count, and the counting
 * and logging of the calls on them. Plain C, shared with the shim. */
#ifndef DOZO_FAULT_PLAN_H
#define DOZO_FAULT_PLAN_H

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

enum { FAULT_NONE = 0, FAULT_EIO, FAULT_ENOSPC, FAULT_SHORT, FAULT_KILL };

struct FaultPlan {
    char root[4096];
    size_t rootLen;
    long at;   /* the number of the call that gets the fault */
    int kind;  /* the fault */
    int logFd; /* every counted call is appended here */
    long count;
    int noTmpfile;   /* the root has no unnamed temporaries (O_TMPFILE) */
    char what[4096]; /* the path of the call being counted, for the log */
};

static inline int faultKindFromName(const char* name) {
    if (name == NULL) return FAULT_NONE;
    if (strcmp(name, "eio") == 0) return FAULT_EIO;
    if (strcmp(name, "enospc") == 0) return FAULT_ENOSPC;
    if (strcmp(name, "short") == 0) return FAULT_SHORT;
    if (strcmp(name, "kill") == 0) return FAULT_KILL;
    return FAULT_NONE;
}

/* 1 when the environment names a root and a log, and the log is open; 0 when
 * it names none (a clean run: nothing to count); -1 when the log cannot be
 * opened. A raw system call, so the shim never counts its own bookkeeping. */
static inline int faultPlanFromEnvironment(struct FaultPlan* p) {
    const char* root = getenv("DOZO_FAULT_ROOT");
    const char* log = getenv("DOZO_FAULT_LOG");
    const char* at = getenv("DOZO_FAULT_AT");
    if (root == NULL || log == NULL || strlen(root) >= sizeof p->root) return 0;
    strcpy(p->root, root);
    p->rootLen = strlen(root);
    p->at = at != NULL ? atol(at) : 0;
    p->kind = faultKindFromName(getenv("DOZO_FAULT_KIND"));
    p->noTmpfile = getenv("DOZO_FAULT_NO_TMPFILE") != NULL;
    p->logFd =
        (int)syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return p->logFd >= 0 ? 1 : -1;
}

/* True for the root itself and anything below it (an unnamed temporary shows
 * as "ROOT/dir/#123 (deleted)", which counts too); keeps the path below the
 * root for the log line. */
static inline int faultPlanCounts(struct FaultPlan* p, const char* path) {
    if (strncmp(path, p->root, p->rootLen) != 0) return 0;
    const char* rest = path + p->rootLen;
    if (*rest != '/' && *rest != '\0') return 0;
    snprintf(p->what, sizeof p->what, "%s", *rest == '/' ? rest + 1 : ".");
    return 1;
}

/* Counts a call that matters and appends it to the log ("write", or "!write"
 * for the call that gets the fault); returns its fault or FAULT_NONE. */
static inline int faultPlanNext(struct FaultPlan* p, const char* name, int canBeShort) {
    const long n = __atomic_add_fetch(&p->count, 1, __ATOMIC_SEQ_CST);
    const int fire = n == p->at && p->kind != FAULT_NONE && (p->kind != FAULT_SHORT || canBeShort);
    char line[4200];
    const int len = snprintf(line, sizeof line, "%s%s %s\n", fire ? "!" : "", name, p->what);
    syscall(SYS_write, p->logFd, line, (size_t)len);
    return fire ? p->kind : FAULT_NONE;
}

static inline int faultErrno(int kind) {
    return kind == FAULT_ENOSPC ? ENOSPC : EIO;
}

#endif
