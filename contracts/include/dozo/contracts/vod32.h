// The keyed library (libVod32.so) as its callers reach it: bound by name at
// run time, never linked. contracts/check/vod32.cpp ties every type, name and
// number here to keyed/include/vod32.h.
#pragma once

extern "C" {
// Version in hundredths (1.01 is 101); callers keep all 32 bits.
using VovGetVersionFn = int(void);

// XORs `source` with the key stream into `destination` (which may be the same
// path). The key is NUL-terminated code page 932 bytes.
using VovBCMKCFn = int(void* ownerWindow, const char* source, const char* destination,
                       const char* work, const char* key);

// VovBCMKC with the source as its own destination.
using VovBCMKCLFn = int(void* ownerWindow, const char* source, const char* work, const char* key);
}

namespace dozo::contracts {
inline constexpr const char* kVod32LibraryName = "Vod32";
inline constexpr const char* kVovGetVersion = "VovGetVersion";
inline constexpr const char* kVovBCMKC = "VovBCMKC";
inline constexpr const char* kVovBCMKCL = "VovBCMKCL";

// Results of VovBCMKC and VovBCMKCL. From kRead on, the destination is as it
// was and the work file is gone.
namespace vod32 {
inline constexpr int kOk = 0;
inline constexpr int kSource = 1;      // the source cannot be opened; nothing touched
inline constexpr int kWorkFile = 2;    // the work file cannot be created
inline constexpr int kKeyTooLong = 3;  // 256 bytes or more; an empty work file is left
inline constexpr int kKeyEmpty = 4;    // nothing touched
inline constexpr int kRead = 5;        // reading the source failed part-way
inline constexpr int kWrite = 6;       // writing or flushing the result failed
inline constexpr int kReadOnly = 7;    // the destination may not be written
inline constexpr int kReplace = 8;     // the result cannot be put in place
}  // namespace vod32
}  // namespace dozo::contracts
