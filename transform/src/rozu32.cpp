#include "rozu32.h"

#include "dozo/fileio/replacement.h"
#include "dozo/fileio/source.h"
#include "dozo/fileio/stream.h"
#include "passes.h"

namespace {

using dozo::fileio::Status;

// Each method leaves mask XOR swap?(reverse?(source)) in the destination: the
// byte passes and intermediate copies of the classic sequences only ever
// compose to that, so one pass over large blocks gives the same bytes.
struct Method {
    bool reverse;
    bool swap;
    unsigned char mask;
};

int32_t resultCode(Status status) {
    switch (status) {
        case Status::ok:
            return ROZU32_OK;
        case Status::sourceOpen:
            return ROZU32_E_SOURCE;
        case Status::workCreate:
            return ROZU32_E_WORK_FILE;
        case Status::read:
            return ROZU32_E_READ;
        case Status::write:
            return ROZU32_E_WRITE;
        case Status::destinationReadOnly:
            return ROZU32_E_DESTINATION_READ_ONLY;
        case Status::destinationCreate:
        case Status::replace:
            return ROZU32_E_REPLACE;
    }
    return ROZU32_E_REPLACE;
}

Status transform(const Method& method, const char* sourcePath, const char* destinationPath,
                 const char* workPath) {
    using namespace dozo::fileio;
    using namespace dozo::transform;

    Source source;
    if (Status s = source.open(sourcePath); s != Status::ok) return s;
    WorkFile work;
    if (Status s = work.create(workPath, {sourcePath, destinationPath}); s != Status::ok) return s;
    Replacement result;
    if (Status s = result.open(destinationPath); s != Status::ok) return s;

    auto rewrite = [&method](unsigned char* block, std::size_t n, std::int64_t) {
        if (method.reverse) reverseBytes(block, n);
        if (method.swap) swapPairs(block, n);
        if (method.mask != 0) xorBytes(block, n, method.mask);
    };
    const Status s = method.reverse ? streamBackward(source, result, rewrite)
                                    : streamForward(source, result, rewrite);
    if (s != Status::ok) return s;
    source.close();
    return result.commit();
}

int32_t run(const Method& method, const char* sourcePath, const char* destinationPath,
            const char* workPath) {
    return resultCode(transform(method, sourcePath, destinationPath, workPath));
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
