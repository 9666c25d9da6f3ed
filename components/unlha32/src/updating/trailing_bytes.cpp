#include "updating/trailing_bytes.h"

#include <errno.h>

#include <algorithm>
#include <vector>

#include "dozo/fileio/printable.h"

namespace unlha32 {

Outcome keepTrailing(dozo::fileio::Source* archive, std::int64_t from,
                     dozo::fileio::Replacement& result, const std::string& archivePath) {
    if (archive == nullptr || from <= 0) return {};
    constexpr std::int64_t kChunk = 1 << 20;
    std::vector<std::uint8_t> buffer;
    for (std::int64_t at = from; at < archive->size();) {
        const auto n = static_cast<std::size_t>(std::min(kChunk, archive->size() - at));
        buffer.resize(n);
        if (archive->readAt(at, buffer.data(), n) != dozo::fileio::Status::ok) {
            const int error = errno;
            return failure(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_READ, {}, error},
                           "既存の書庫を読めません: " + printable(archivePath));
        }
        if (result.write(buffer.data(), n) != dozo::fileio::Status::ok) {
            const int error = errno;
            return failure(
                UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_WRITE, {}, error},
                "書庫を書けません: " + printable(archivePath) + " (" + errorText(error) + ")");
        }
        at += static_cast<std::int64_t>(n);
    }
    return {};
}

}  // namespace unlha32
