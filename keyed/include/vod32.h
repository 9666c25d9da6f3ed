/*
 * Vod32: a keyed XOR stream with a rolling key, and a version query.
 *
 * The byte at offset n is XORed with (key[n mod L] + 57 * floor(n / L)) mod 256,
 * where L is the key's length in bytes (1 to 255) and key[j] its j-th byte
 * as an unsigned value. The file keeps its length, and running a call again
 * with the same key restores it. The key is a NUL-terminated byte string; the
 * application passes it in code page 932, the library only sees bytes.
 *
 * The destination is only ever replaced as a whole: the complete result is
 * written and made durable beside it, then renamed over it, keeping its
 * permission bits. Whatever fails, and whenever the process dies, the
 * destination is either wholly as it was or wholly the result.
 *
 * workPath names a scratch file that each call creates (truncating a file
 * already there) and removes before it returns; it must not name the source
 * or the destination. ownerWindow is never read. Paths are byte strings
 * passed to the file system unchanged.
 *
 * Result codes, in the order the checks are made:
 *
 *   code  name                          meaning; what is left behind
 *   ----  ----------------------------  ---------------------------------------------
 *   0     VOD32_OK                      the destination holds the result
 *   1     VOD32_E_SOURCE                the source cannot be opened for reading;
 *                                       nothing was created or changed
 *   4     VOD32_E_KEY_EMPTY             the key is empty (or a null pointer);
 *                                       nothing was created or changed
 *   2     VOD32_E_WORK_FILE             the work file cannot be created (folder
 *                                       missing or not writable, or it names the
 *                                       source or the destination); nothing changed
 *   3     VOD32_E_KEY_TOO_LONG          the key has 256 bytes or more; an empty work
 *                                       file is left at workPath, the destination
 *                                       is untouched
 *   5     VOD32_E_READ                  reading the source failed part-way
 *   6     VOD32_E_WRITE                 writing or flushing the result failed
 *                                       (full disk, quota, file size limit, I/O)
 *   7     VOD32_E_DESTINATION_READ_ONLY the destination exists and may not be
 *                                       written (no write bit counts, even for root)
 *   8     VOD32_E_REPLACE               no result can be created beside the
 *                                       destination, or it cannot be renamed over it
 *
 * For codes 5 to 8 the destination is byte-identical to what it was, no
 * temporary file remains beside it and the work file is gone.
 */
#ifndef VOD32_H
#define VOD32_H

#include <stdint.h>

/* On Windows the exports are named by a module definition file, and every
 * function uses the system's calling convention (the callee removes the
 * arguments). Elsewhere both are the platform's defaults. */
#if defined(_WIN32)
#define VOD32_API
#define VOD32_CALL __stdcall
#elif defined(__GNUC__)
#define VOD32_API __attribute__((visibility("default")))
#define VOD32_CALL
#else
#define VOD32_API
#define VOD32_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VOD32_OK = 0,
    VOD32_E_SOURCE = 1,
    VOD32_E_WORK_FILE = 2,
    VOD32_E_KEY_TOO_LONG = 3,
    VOD32_E_KEY_EMPTY = 4,
    VOD32_E_READ = 5,
    VOD32_E_WRITE = 6,
    VOD32_E_DESTINATION_READ_ONLY = 7,
    VOD32_E_REPLACE = 8
};

/* 101, for version 1.01. */
VOD32_API int32_t VOD32_CALL VovGetVersion(void);

/* XORs sourcePath with the key stream into destinationPath (which may be the
 * same path). */
VOD32_API int32_t VOD32_CALL VovBCMKC(void* ownerWindow, const char* sourcePath,
                                      const char* destinationPath, const char* workPath,
                                      const char* key);

/* VovBCMKC with the destination being the source: the file is replaced in place. */
VOD32_API int32_t VOD32_CALL VovBCMKCL(void* ownerWindow, const char* sourcePath,
                                       const char* workPath, const char* key);

#ifdef __cplusplus
}
#endif

#endif /* VOD32_H */
