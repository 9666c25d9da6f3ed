// The exports of our two transform libraries as the application calls them.
// The application binds them by name at run time and never links them.
#pragma once

extern "C" {
// Version in hundredths. The caller keeps only the low 16 bits of the
// transform library's answer, taken as signed, and all 32 of the keyed one's.
using RazuGetVersionFn = int(void);
using VovGetVersionFn = int(void);

// Every method: source and destination may be the same path; `work` is the
// work file the method may create and deletes again. 0 means success.
using FileEncryptionFn = int(void* ownerWindow, const char* source, const char* destination,
                             const char* work);

using VovBCMKCFn = int(void* owner, const char* source, const char* destination, const char* work,
                       const char* key);
}

namespace dozo::exports {
inline constexpr const char* kRozu32 = "Rozu32";
inline constexpr const char* kVod32 = "Vod32";
inline constexpr const char* kRazuGetVersion = "RazuGetVersion";
inline constexpr const char* kVovGetVersion = "VovGetVersion";
inline constexpr const char* kVovBCMKC = "VovBCMKC";

// The transform methods in the order of the EncType options 0 to 6.
inline constexpr const char* kTransformMethods[7] = {"FileEncryptionA",
                                                     "FileEncryptionC",
                                                     "FileEncryptionLC",
                                                     "FileEncryptionLCR",
                                                     "FileEncryptionLCB",
                                                     "FileEncryptionLCRB",
                                                     "i_CLOL"};
}  // namespace dozo::exports
