/* What the preloaded shim and the tracer of static programs agree on: the
 * kinds of fault and which paths count. Plain C, shared with the shim. */
#ifndef DOZO_FAULT_PLAN_H
#define DOZO_FAULT_PLAN_H

#include <string.h>

enum { FAULT_NONE = 0, FAULT_EIO, FAULT_ENOSPC, FAULT_SHORT, FAULT_KILL };

static inline int faultKindFromName(const char* name) {
    if (name == NULL) return FAULT_NONE;
    if (strcmp(name, "eio") == 0) return FAULT_EIO;
    if (strcmp(name, "enospc") == 0) return FAULT_ENOSPC;
    if (strcmp(name, "short") == 0) return FAULT_SHORT;
    if (strcmp(name, "kill") == 0) return FAULT_KILL;
    return FAULT_NONE;
}

/* True for the root itself and anything below it (an unnamed temporary shows
 * as "ROOT/dir/#123 (deleted)", which counts too). */
static inline int faultPathBelow(const char* path, const char* root, size_t rootLen) {
    return strncmp(path, root, rootLen) == 0 && (path[rootLen] == '/' || path[rootLen] == '\0');
}

#endif
