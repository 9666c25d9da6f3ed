#ifndef DOZO_RIVO_H
#define DOZO_RIVO_H

/* The package library: turns one file and a password into a self-decrypting
 * executable. The package restores the file when run with the password; see
 * docs/rivo-format.md for its layout. */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define RIVO_API __attribute__((visibility("default")))
#else
#define RIVO_API
#endif

/* Results of rivo(). Whatever the failure, nothing is left at the
 * destination: an existing file there stays as it was. */
#define RIVO_OK 0
#define RIVO_E_ARGUMENT 1    /* source or destination path missing (NULL or empty) */
#define RIVO_E_PASSWORD 2    /* password missing, empty, too long, or holding a line break */
#define RIVO_E_SOURCE 3      /* source is not a readable regular file */
#define RIVO_E_READ 4        /* reading the source failed, or it changed size meanwhile */
#define RIVO_E_DESTINATION 5 /* no file can be created at the destination */
#define RIVO_E_WRITE 6       /* writing or flushing the package failed (disk full, I/O error) */
#define RIVO_E_REPLACE 7     /* the complete package could not be renamed into place */
#define RIVO_E_CRYPTO 8      /* no memory for key derivation, or the crypto library failed */
#define RIVO_E_CANCELLED 9   /* stopped by the progress callback (see rivoSetProgress) */

/* Longest password accepted, in bytes. The stub reads no longer line. */
#define RIVO_PASSWORD_MAX 1024

/* Writes the package for sourcePath at destinationPath, protected by
 * password (opaque NUL-terminated bytes). ownerWindow is accepted and ignored.
 * Synchronous; safe to call from any thread. When it returns RIVO_OK the
 * package is complete, flushed to disk and executable. */
RIVO_API int rivo(void* ownerWindow, const char* sourcePath, const char* destinationPath,
                  const char* password);

/* Progress of the rivo() calls a thread makes: bytes of the source sealed so
 * far and its size. Called on the calling thread before the key derivation
 * (about a second, one step that cannot be cut), after it, and after each
 * mebibyte sealed. A non-zero return stops the call there with
 * RIVO_E_CANCELLED, and nothing is left at the destination. */
typedef int RivoProgressCallback(void* context, long long bytesDone, long long bytesTotal);

/* Registers callback (with context) for the rivo() calls the calling thread
 * makes from now on; NULL removes it. Other threads keep their own. */
RIVO_API void rivoSetProgress(RivoProgressCallback* callback, void* context);

#ifdef __cplusplus
}
#endif

#endif
