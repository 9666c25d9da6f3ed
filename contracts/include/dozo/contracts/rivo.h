// The package library (librivo.so) as its callers reach it: bound by name at
// run time, never linked. contracts/check/rivo.cpp ties the type, name and
// numbers here to components/rivo/include/rivo.h.
#pragma once

extern "C" {
// Builds a password-protected self-decrypting executable at `destination`
// from `source`. On kOk the package is complete, flushed and executable;
// on any failure nothing is left at the destination (an existing file there
// stays as it was).
using RivoFn = int(void* owner, const char* source, const char* destination, const char* password);

// Progress of the calling thread's later rivo() calls: bytes of the source
// sealed and its size, told before the key derivation (about a second that
// cannot be cut), after it and after each mebibyte sealed. Non-zero stops the
// call with kCancelled; nothing is left at the destination. A library
// without the export still packages, unfollowed.
using RivoProgressCallback = int(void* context, long long bytesDone, long long bytesTotal);
// nullptr removes the calling thread's registration.
using RivoSetProgressFn = void(RivoProgressCallback* callback, void* context);
}

namespace dozo::contracts {
inline constexpr const char* kRivoLibraryName = "rivo";
inline constexpr const char* kRivo = "rivo";
inline constexpr const char* kRivoSetProgress = "rivoSetProgress";

namespace rivo {
inline constexpr int kOk = 0;
inline constexpr int kArgument = 1;     // source or destination path missing
inline constexpr int kPassword = 2;     // password empty, too long or holding a line break
inline constexpr int kSource = 3;       // source is not a readable regular file
inline constexpr int kRead = 4;         // reading the source failed, or it changed meanwhile
inline constexpr int kDestination = 5;  // no file can be created at the destination
inline constexpr int kWrite = 6;        // writing the package failed
inline constexpr int kReplace = 7;      // the package cannot be put in place
inline constexpr int kCrypto = 8;       // no memory for the key, or the crypto library failed
inline constexpr int kCancelled = 9;    // stopped by the progress callback; nothing written

// Longest password accepted, in bytes.
inline constexpr int kPasswordMax = 1024;
}  // namespace rivo
}  // namespace dozo::contracts
