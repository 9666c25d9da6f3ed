// The stub's reading of untrusted bytes: its own program headers, trailer,
// header, cost bounds, and the decrypted metadata record with its stored name. The input is taken
// as a whole package image, and its first bytes also as a metadata record.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "format.h"

using namespace dozo::rivo;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// What the stub reads of its own image when the trailer is missing.
void programEnd(const std::uint8_t* data, std::size_t size) {
    const std::uint64_t end = programSizeOf(data, size);
    check(end == 0 || end >= 64);
    const std::size_t after =
        end != 0 && end < size ? std::min<std::size_t>(kHeaderSize, size - end) : 0;
    const ParseError e = explainTrailerError(ParseError::notPackage, size, end,
                                             data + std::min<std::size_t>(end, size), after);
    check(e == ParseError::notPackage || e == ParseError::damaged || e == ParseError::extraData);
    if (e == ParseError::extraData) check(after == kHeaderSize);
}

void package(const std::uint8_t* data, std::size_t size) {
    programEnd(data, size);
    if (size < kTrailerSize) return;
    Trailer t;
    if (parseTrailer(data + size - kTrailerSize, size, t) != ParseError::none) return;
    // Accepted trailers keep every later read inside the file.
    check(t.payloadOffset + t.payloadSize + kTrailerSize == size);
    check(t.payloadSize >= kHeaderSize + kSealedMetadataSize);
    std::uint8_t again[kTrailerSize];
    encodeTrailer(t, again);
    check(std::memcmp(again, data + size - kTrailerSize, kTrailerSize) == 0);

    const std::uint8_t* headerBytes = data + t.payloadOffset;
    Header h;
    if (parseHeader(headerBytes, h) != ParseError::none) return;
    // One encoding per header: what the stub accepts is what the library writes.
    std::uint8_t encoded[kHeaderSize];
    encodeHeader(h, encoded);
    check(std::memcmp(encoded, headerBytes, kHeaderSize) == 0);
    if (checkAgreement(t, h) != ParseError::none) return;
    const auto content = contentSizeFor(h.sealedSize);
    check(content.has_value() && sealedSizeFor(*content) == h.sealedSize);
    if (checkKdfCost(h) == ParseError::none)
        check(std::uint64_t{h.opslimit} * h.memlimitKib <= kWorkKibMax &&
              h.memlimitKib <= kMemKibMax);
}

void metadata(const std::uint8_t* data, std::size_t size) {
    if (size < kMetadataSize) return;
    Metadata m;
    if (!parseMetadata(data, m)) return;
    check(!m.name.empty() && m.name.size() <= kNameMax && m.mtimeNsec < 1000000000u);
    const std::string safe = sanitizeName(m.name, "fallback");
    check(!safe.empty() && safe != "." && safe != "..");
    for (const char c : safe) {
        const auto u = static_cast<unsigned char>(c);
        check(c != '/' && u >= 0x20 && u != 0x7f);
    }
    std::uint8_t again[kMetadataSize];
    check(encodeMetadata(m, again) && std::memcmp(again, data, kMetadataSize) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    package(data, size);
    metadata(data, size);
    return 0;
}
