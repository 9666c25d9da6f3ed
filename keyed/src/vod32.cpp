#include "vod32.h"

#include <cstring>

#include "dozo/fileio/rewrite.h"
#include "key_stream.h"

namespace {

constexpr dozo::fileio::ResultCodes kCodes{VOD32_OK,          VOD32_E_SOURCE,
                                           VOD32_E_WORK_FILE, VOD32_E_READ,
                                           VOD32_E_WRITE,     VOD32_E_DESTINATION_READ_ONLY,
                                           VOD32_E_REPLACE};

int32_t encrypt(const char* sourcePath, const char* destinationPath, const char* workPath,
                const char* key) {
    using namespace dozo::fileio;
    using dozo::keyed::KeyStream;
    using dozo::keyed::kMaxKeyLength;

    Rewrite job(sourcePath, destinationPath, workPath);
    if (Status s = job.openSource(); s != Status::ok) return kCodes(s);
    // Never looks further than one byte past the longest valid key.
    const std::size_t length = key == nullptr ? 0 : ::strnlen(key, kMaxKeyLength + 1);
    if (length == 0) return VOD32_E_KEY_EMPTY;
    if (Status s = job.createWork(); s != Status::ok) return kCodes(s);
    if (length > kMaxKeyLength) {
        job.keepWork();
        return VOD32_E_KEY_TOO_LONG;
    }

    const KeyStream stream(reinterpret_cast<const unsigned char*>(key), length);
    return kCodes(job.run(Rewrite::Direction::forward,
                          [&stream](unsigned char* block, std::size_t n, std::int64_t offset) {
                              stream.apply(block, n, offset);
                          }));
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
