// The four exports of the LHA archiver library (libunlha32.so) as the
// application calls them. The application binds them by name at run time and
// never links the library, so only the function types live here.
#pragma once

extern "C" {

// Version in hundredths (2.55 is 255); the caller keeps only the low 16 bits,
// taken as signed.
using UnlhaGetVersionFn = int(void);

// Runs one archiver command line. The output buffer is a scratch area the
// caller never reads; the caller always passes a size of 0.
// 0 means success, anything else failure.
using UnlhaFn = int(void* owner, const char* commandLine, char* output, unsigned long outputSize);

// Nonzero when the file at `path` is an archive that can be extracted; the
// caller always passes mode 1.
using UnlhaCheckArchiveFn = int(const char* path, int mode);

// Shows the archiver's own settings; the caller passes an empty option text
// and mode 0 and does not read the result.
using UnlhaConfigDialogFn = int(void* owner, char* options, int mode);
}

namespace dozo::contracts {
inline constexpr const char* kUnlhaLibraryName = "unlha32";
inline constexpr const char* kUnlhaGetVersion = "UnlhaGetVersion";
inline constexpr const char* kUnlha = "Unlha";
inline constexpr const char* kUnlhaCheckArchive = "UnlhaCheckArchive";
inline constexpr const char* kUnlhaConfigDialog = "UnlhaConfigDialog";

// Command-line pieces the application sends through Unlha.
inline constexpr const char* kUnlhaPackListPrefix = "u -a1 -r2 ";
inline constexpr const char* kUnlhaExtractPrefix = "x -a1 ";
inline constexpr const char* kUnlhaPackFilePrefix = "u -a1 ";
}  // namespace dozo::contracts
