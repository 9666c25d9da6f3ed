/*
 * Rozu32: seven keyless byte transforms of a whole file, and a version query.
 *
 * Every method reads sourcePath and leaves its result at destinationPath
 * (which may be the same path). The transforms are their own inverse, except
 * FileEncryptionLCR on files of odd length 3 or more, so running a method
 * again restores a file.
 *
 * The destination is only ever replaced as a whole: the complete result is
 * written and made durable beside it, then renamed over it, keeping its
 * permission bits. Whatever fails, and whenever the process dies, the
 * destination is either wholly as it was or wholly the result.
 *
 * workPath names a scratch file that each call creates (truncating a file
 * already there) before anything else is written and removes before it
 * returns; it must not name the source or the destination. ownerWindow is
 * never read. Paths are byte strings passed to the file system unchanged.
 *
 * Result codes of the methods:
 *
 *   code  name                          meaning; what is left behind
 *   ----  ----------------------------  ---------------------------------------------
 *   0     ROZU32_OK                     the destination holds the result
 *   1     ROZU32_E_SOURCE               the source cannot be opened for reading;
 *                                       nothing was created or changed
 *   2     ROZU32_E_WORK_FILE            the work file cannot be created (folder
 *                                       missing or not writable, or it names the
 *                                       source or the destination); nothing changed
 *   3     ROZU32_E_READ                 reading the source failed part-way
 *   4     ROZU32_E_WRITE                writing or flushing the result failed
 *                                       (full disk, quota, file size limit, I/O)
 *   5     ROZU32_E_DESTINATION_READ_ONLY  the destination exists and may not be
 *                                       written (no write bit counts, even for root)
 *   6     ROZU32_E_REPLACE              no result can be created beside the
 *                                       destination, or it cannot be renamed over it
 *
 * For codes 2 to 6 the destination is byte-identical to what it was, no
 * temporary file remains beside it and the work file is gone.
 */
#ifndef ROZU32_H
#define ROZU32_H

#include <stdint.h>

/* On Windows the exports are named by a module definition file, and every
 * function uses the system's calling convention (the callee removes the
 * arguments). Elsewhere both are the platform's defaults. */
#if defined(_WIN32)
#define ROZU32_API
#define ROZU32_CALL __stdcall
#elif defined(__GNUC__)
#define ROZU32_API __attribute__((visibility("default")))
#define ROZU32_CALL
#else
#define ROZU32_API
#define ROZU32_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    ROZU32_OK = 0,
    ROZU32_E_SOURCE = 1,
    ROZU32_E_WORK_FILE = 2,
    ROZU32_E_READ = 3,
    ROZU32_E_WRITE = 4,
    ROZU32_E_DESTINATION_READ_ONLY = 5,
    ROZU32_E_REPLACE = 6
};

/* 111, for version 1.11. */
ROZU32_API int32_t ROZU32_CALL RazuGetVersion(void);

/* The complement of every byte (XOR 0xFF). */
ROZU32_API int32_t ROZU32_CALL FileEncryptionA(void* ownerWindow, const char* sourcePath,
                                               const char* destinationPath, const char* workPath);

/* Pair swap: bytes 1 0 3 2 ...; an odd last byte stays last. */
ROZU32_API int32_t ROZU32_CALL FileEncryptionC(void* ownerWindow, const char* sourcePath,
                                               const char* destinationPath, const char* workPath);

/* Pair swap of the complement. */
ROZU32_API int32_t ROZU32_CALL FileEncryptionLC(void* ownerWindow, const char* sourcePath,
                                                const char* destinationPath, const char* workPath);

/* Pair swap of the reversal. Not its own inverse for odd lengths of 3 or
 * more: 61 62 63 gives 62 63 61, which gives 63 61 62. */
ROZU32_API int32_t ROZU32_CALL FileEncryptionLCR(void* ownerWindow, const char* sourcePath,
                                                 const char* destinationPath, const char* workPath);

/* XOR 0x02 of the pair swap. */
ROZU32_API int32_t ROZU32_CALL FileEncryptionLCB(void* ownerWindow, const char* sourcePath,
                                                 const char* destinationPath, const char* workPath);

/* XOR 0x02 of the reversal (no pair swap). */
ROZU32_API int32_t ROZU32_CALL FileEncryptionLCRB(void* ownerWindow, const char* sourcePath,
                                                  const char* destinationPath,
                                                  const char* workPath);

/* The same bytes as FileEncryptionLCB. */
ROZU32_API int32_t ROZU32_CALL i_CLOL(void* ownerWindow, const char* sourcePath,
                                      const char* destinationPath, const char* workPath);

#ifdef __cplusplus
}
#endif

#endif /* ROZU32_H */
