#include "vod32.h"

#include <cstring>

#include "dozo/fileio/replacement.h"
#include "dozo/fileio/source.h"
#include "dozo/fileio/stream.h"
#include "key_stream.h"

namespace {

using dozo::fileio::Status;

int32_t resultCode(Status status) {
    switch (status) {
        case Status::ok:
            return VOD32_OK;
        case Status::sourceOpen:
            return VOD32_E_SOURCE;
        case Status::workCreate:
            return VOD32_E_WORK_FILE;
        case Status::read:
            return VOD32_E_READ;
        case Status::write:
            return VOD32_E_WRITE;
        case Status::destinationReadOnly:
            return VOD32_E_DESTINATION_READ_ONLY;
        case Status::destinationCreate:
        case Status::replace:
            return VOD32_E_REPLACE;
    }
    return VOD32_E_REPLACE;
}

int32_t encrypt(const char* sourcePath, const char* destinationPath, const char* workPath,
                const char* key) {
    using namespace dozo::fileio;
    using dozo::keyed::KeyStream;
    using dozo::keyed::kMaxKeyLength;

    Source source;
    if (Status s = source.open(sourcePath); s != Status::ok) return resultCode(s);
    // Never looks further than one byte past the longest valid key.
    const std::size_t length = key == nullptr ? 0 : ::strnlen(key, kMaxKeyLength + 1);
    if (length == 0) return VOD32_E_KEY_EMPTY;
    WorkFile work;
    if (Status s = work.create(workPath, {sourcePath, destinationPath}); s != Status::ok)
        return resultCode(s);
    if (length > kMaxKeyLength) {
        work.keep();
        return VOD32_E_KEY_TOO_LONG;
    }

    const KeyStream stream(reinterpret_cast<const unsigned char*>(key), length);
    Replacement result;
    if (Status s = result.open(destinationPath); s != Status::ok) return resultCode(s);
    const Status s = streamForward(
        source, result, [&stream](unsigned char* block, std::size_t n, std::int64_t offset) {
            stream.apply(block, n, offset);
        });
    if (s != Status::ok) return resultCode(s);
    source.close();
    return resultCode(result.commit());
}

}  // namespace

extern "C" {

int32_t VovGetVersion(void) {
    return 101;
}

int32_t VovBCMKC(void*, const char* sourcePath, const char* destinationPath, const char* workPath,
                 const char* key) {
    return encrypt(sourcePath, destinationPath, workPath, key);
}

int32_t VovBCMKCL(void*, const char* sourcePath, const char* workPath, const char* key) {
    return encrypt(sourcePath, sourcePath, workPath, key);
}

}  // extern "C"
