#include "unseal.h"

#include <algorithm>
#include <memory>

namespace dozo::rivo {
namespace {

constexpr std::size_t kChunksPerBlock = 16;
constexpr std::size_t kSealedChunk = kChunkSize + kTagOverhead;

// Why a file has no valid trailer: from where its program part ends and what
// follows there. Reads that fail leave the trailer's own verdict.
ParseError whyNoTrailer(const PackageFile& file, ParseError trailerError) {
    std::uint8_t program[4096];
    const std::uint64_t fileSize = file.size();
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof program, fileSize));
    if (!file.readAt(program, want, 0)) return trailerError;
    const std::uint64_t programSize = programSizeOf(program, want);
    std::uint8_t after[kHeaderSize];
    std::size_t afterSize = 0;
    if (programSize != 0 && programSize < fileSize) {
        afterSize =
            static_cast<std::size_t>(std::min<std::uint64_t>(kHeaderSize, fileSize - programSize));
        if (!file.readAt(after, afterSize, programSize)) return trailerError;
    }
    return explainTrailerError(trailerError, fileSize, programSize, after, afterSize);
}

}  // namespace

Unsealed fromParseError(ParseError e) {
    switch (e) {
        case ParseError::none:
            return Unsealed::ok;
        case ParseError::notPackage:
            return Unsealed::notPackage;
        case ParseError::extraData:
            return Unsealed::extraData;
        case ParseError::unsupported:
            return Unsealed::unsupported;
        case ParseError::costTooHigh:
            return Unsealed::costTooHigh;
        case ParseError::damaged:
            break;
    }
    return Unsealed::damaged;
}

Unsealed locate(const PackageFile& file, Located& out) {
    out.fileSize = file.size();
    if (out.fileSize < kTrailerSize) return Unsealed::notPackage;
    std::uint8_t trailer[kTrailerSize];
    if (!file.readAt(trailer, kTrailerSize, out.fileSize - kTrailerSize))
        return Unsealed::readFailed;
    if (ParseError e = parseTrailer(trailer, out.fileSize, out.trailer); e != ParseError::none)
        return fromParseError(whyNoTrailer(file, e));
    if (!file.readAt(out.headerBytes, kHeaderSize, out.trailer.payloadOffset))
        return Unsealed::readFailed;
    ParseError e = parseHeader(out.headerBytes, out.header);
    if (e == ParseError::none) e = checkAgreement(out.trailer, out.header);
    if (e == ParseError::none) e = checkKdfCost(out.header);
    return fromParseError(e);
}

Unsealed Unsealing::unlock(const void* password, std::size_t length) {
    if (!keys_.valid() || !keys_.derive(password, length, where_.header)) return Unsealed::noMemory;
    return keys_.matches(where_.header) ? Unsealed::ok : Unsealed::wrongPassword;
}

Unsealed Unsealing::metadata(Metadata& out) {
    std::uint8_t sealed[kSealedMetadataSize];
    std::uint8_t plain[kMetadataSize];
    if (!file_.readAt(sealed, kSealedMetadataSize, where_.trailer.payloadOffset + kHeaderSize))
        return Unsealed::readFailed;
    const std::uint64_t expected = *contentSizeFor(where_.header.sealedSize);
    final_ = false;
    if (!opener_.start(keys_, where_.header) ||
        !opener_.open(sealed, kSealedMetadataSize, where_.headerBytes, kHeaderSize, plain,
                      final_) ||
        !parseMetadata(plain, out) || out.size != expected || final_ != (out.size == 0))
        return Unsealed::damaged;
    size_ = out.size;
    return Unsealed::ok;
}

Unsealed Unsealing::content(const std::function<bool(const std::uint8_t*, std::size_t)>& sink) {
    auto sealed = std::make_unique_for_overwrite<std::uint8_t[]>(kChunksPerBlock * kSealedChunk);
    auto plain = std::make_unique_for_overwrite<std::uint8_t[]>(kChunksPerBlock * kChunkSize);
    const std::uint64_t end = where_.trailer.payloadOffset + where_.trailer.payloadSize;
    std::uint64_t at = where_.trailer.payloadOffset + kHeaderSize + kSealedMetadataSize;
    std::uint64_t written = 0;
    while (at < end) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(kChunksPerBlock * kSealedChunk, end - at));
        if (!file_.readAt(sealed.get(), n, at)) return Unsealed::readFailed;
        std::size_t plainBytes = 0;
        for (std::size_t i = 0; i < n; i += kSealedChunk) {
            const std::size_t len = std::min(kSealedChunk, n - i);
            // The final tag belongs on the last chunk and nowhere else.
            if (final_ ||
                !opener_.open(sealed.get() + i, len, nullptr, 0, plain.get() + plainBytes,
                              final_) ||
                final_ != (at + i + len == end))
                return Unsealed::damaged;
            plainBytes += len - kTagOverhead;
        }
        if (!sink(plain.get(), plainBytes)) return Unsealed::sinkFailed;
        written += plainBytes;
        at += n;
    }
    if (!final_ || written != size_) return Unsealed::damaged;
    return Unsealed::ok;
}

}  // namespace dozo::rivo
