// The transform library (libRozu32.so) as its callers reach it: bound by name
// at run time, never linked. contracts/check/rozu32.cpp ties every type, name
// and number here to transform/include/rozu32.h, so a change there that is not
// made here too fails the build.
#pragma once

extern "C" {
// Version in hundredths (1.11 is 111). Callers keep only the low 16 bits,
// taken as signed.
using RazuGetVersionFn = int(void);

// Every method: source and destination may be the same path; `work` is the
// work file the method creates up front and removes again.
using FileEncryptionFn = int(void* ownerWindow, const char* source, const char* destination,
                             const char* work);
}

namespace dozo::contracts {
inline constexpr const char* kRozu32LibraryName = "Rozu32";
inline constexpr const char* kRazuGetVersion = "RazuGetVersion";

// The transform methods in the order of the EncType options 0 to 6.
inline constexpr const char* kTransformMethods[7] = {"FileEncryptionA",
                                                     "FileEncryptionC",
                                                     "FileEncryptionLC",
                                                     "FileEncryptionLCR",
                                                     "FileEncryptionLCB",
                                                     "FileEncryptionLCRB",
                                                     "i_CLOL"};

// Results of every method. For the failures from kWorkFile on, the
// destination is as it was and the work file is gone.
namespace rozu32 {
inline constexpr int kOk = 0;
inline constexpr int kSource = 1;    // the source cannot be opened; nothing touched
inline constexpr int kWorkFile = 2;  // the work file cannot be created
inline constexpr int kRead = 3;      // reading the source failed part-way
inline constexpr int kWrite = 4;     // writing or flushing the result failed
inline constexpr int kReadOnly = 5;  // the destination may not be written
inline constexpr int kReplace = 6;   // the result cannot be put in place
}  // namespace rozu32
}  // namespace dozo::contracts
