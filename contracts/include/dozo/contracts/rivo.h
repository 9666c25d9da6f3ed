// The entry of the package library (librivo.so) as the application calls it:
// builds a password-protected self-decrypting executable at `destination`
// from `source`. When it returns, the file at `destination` is complete. The
// application does not read the result.
#pragma once

extern "C" {
using RivoFn = int(void* owner, const char* source, const char* destination, const char* password);
}

namespace dozo::contracts {
inline constexpr const char* kRivoLibraryName = "rivo";
inline constexpr const char* kRivo = "rivo";
}  // namespace dozo::contracts
