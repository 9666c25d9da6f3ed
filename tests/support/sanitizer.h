#pragma once

namespace dozo::test {

// Whether this build runs under AddressSanitizer (GCC and clang say so
// differently). Its runtime keeps freed memory in quarantine, maps a huge
// shadow and writes its own log, so tests that measure memory or inject
// write faults learn here that their figures would mean nothing.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

}  // namespace dozo::test
