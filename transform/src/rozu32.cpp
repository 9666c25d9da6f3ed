#include "rozu32.h"

#include "dozo/fileio/rewrite.h"
#include "passes.h"

namespace {

// Each method leaves mask XOR swap?(reverse?(source)) in the destination: the
// byte passes and intermediate copies of the classic sequences only ever
// compose to that, so one pass over large blocks gives the same bytes.
struct Method {
    bool reverse;
    bool swap;
    unsigned char mask;
};

constexpr dozo::fileio::ResultCodes kCodes{ROZU32_OK,          ROZU32_E_SOURCE,
                                           ROZU32_E_WORK_FILE, ROZU32_E_READ,
                                           ROZU32_E_WRITE,     ROZU32_E_DESTINATION_READ_ONLY,
                                           ROZU32_E_REPLACE};

dozo::fileio::Status transform(const Method& method, const char* sourcePath,
                               const char* destinationPath, const char* workPath) {
    using namespace dozo::fileio;
    using namespace dozo::transform;

    Rewrite job(sourcePath, destinationPath, workPath);
    if (Status s = job.openSource(); s != Status::ok) return s;
    if (Status s = job.createWork(); s != Status::ok) return s;
    return job.run(method.reverse ? Rewrite::Direction::backward : Rewrite::Direction::forward,
                   [&method](unsigned char* block, std::size_t n, std::int64_t) {
                       if (method.reverse) reverseBytes(block, n);
                       if (method.swap) swapPairs(block, n);
                       if (method.mask != 0) xorBytes(block, n, method.mask);
                   });
}

int32_t run(const Method& method, const char* sourcePath, const char* destinationPath,
            const char* workPath) {
    return kCodes(transform(method, sourcePath, destinationPath, workPath));
}

constexpr Method kComplement{false, false, 0xFF};
constexpr Method kSwap{false, true, 0x00};
constexpr Method kSwapComplement{false, true, 0xFF};
constexpr Method kReverseSwap{true, true, 0x00};
constexpr Method kSwapXor2{false, true, 0x02};
constexpr Method kReverseXor2{true, false, 0x02};

}  // namespace

extern "C" {

int32_t RazuGetVersion(void) {
    return 111;
}

int32_t FileEncryptionA(void*, const char* sourcePath, const char* destinationPath,
                        const char* workPath) {
    return run(kComplement, sourcePath, destinationPath, workPath);
}

int32_t FileEncryptionC(void*, const char* sourcePath, const char* destinationPath,
                        const char* workPath) {
    return run(kSwap, sourcePath, destinationPath, workPath);
}

int32_t FileEncryptionLC(void*, const char* sourcePath, const char* destinationPath,
                         const char* workPath) {
    return run(kSwapComplement, sourcePath, destinationPath, workPath);
}

int32_t FileEncryptionLCR(void*, const char* sourcePath, const char* destinationPath,
                          const char* workPath) {
    return run(kReverseSwap, sourcePath, destinationPath, workPath);
}

int32_t FileEncryptionLCB(void*, const char* sourcePath, const char* destinationPath,
                          const char* workPath) {
    return run(kSwapXor2, sourcePath, destinationPath, workPath);
}

int32_t FileEncryptionLCRB(void*, const char* sourcePath, const char* destinationPath,
                           const char* workPath) {
    return run(kReverseXor2, sourcePath, destinationPath, workPath);
}

int32_t i_CLOL(void*, const char* sourcePath, const char* destinationPath, const char* workPath) {
    return run(kSwapXor2, sourcePath, destinationPath, workPath);
}

}  // extern "C"
