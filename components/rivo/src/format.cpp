#include "format.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace dozo::rivo {
namespace {

void put16(std::uint8_t* p, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t get32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
std::uint64_t get64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
bool allZero(const std::uint8_t* p, std::size_t n) {
    std::uint8_t acc = 0;
    for (std::size_t i = 0; i < n; ++i) acc |= p[i];
    return acc == 0;
}

// Header field offsets.
enum : std::size_t {
    hMagic = 0,
    hVersion = 8,
    hSize = 10,
    hFlags = 12,
    hKdf = 16,
    hOps = 20,
    hMem = 24,
    hChunk = 28,
    hSalt = 32,
    hStream = 48,
    hCheck = 72,
    hSealed = 104,
    hStub = 112,
    hReserved = 120,
};
static_assert(hStream == hSalt + kSaltSize && hCheck == hStream + kStreamHeaderSize &&
              hSealed == hCheck + kKeyCheckSize && hReserved + 8 == kHeaderSize);

// Trailer field offsets.
enum : std::size_t {
    tOffset = 0,
    tSize = 8,
    tVersion = 16,
    tLength = 18,
    tReserved = 20,
    tMagic = 24
};
static_assert(tMagic + 8 == kTrailerSize);

// Metadata field offsets.
enum : std::size_t { mSize = 0, mSec = 8, mNsec = 16, mMode = 20, mNameLen = 24, mName = 26 };
static_assert(mName + kNameMax <= kMetadataSize);

}  // namespace

void encodeHeader(const Header& h, std::uint8_t out[kHeaderSize]) {
    std::memset(out, 0, kHeaderSize);
    std::memcpy(out + hMagic, kHeaderMagic, 8);
    put16(out + hVersion, h.version);
    put16(out + hSize, kHeaderSize);
    put32(out + hKdf, h.kdf);
    put32(out + hOps, h.opslimit);
    put32(out + hMem, h.memlimitKib);
    put32(out + hChunk, h.chunkSize);
    std::memcpy(out + hSalt, h.salt, kSaltSize);
    std::memcpy(out + hStream, h.streamHeader, kStreamHeaderSize);
    std::memcpy(out + hCheck, h.keyCheck, kKeyCheckSize);
    put64(out + hSealed, h.sealedSize);
    put64(out + hStub, h.stubSize);
}

ParseError parseHeader(const std::uint8_t in[kHeaderSize], Header& h) {
    if (std::memcmp(in + hMagic, kHeaderMagic, 8) != 0) return ParseError::damaged;
    h.version = get16(in + hVersion);
    if (h.version != kFormatVersion) return ParseError::unsupported;
    if (get16(in + hSize) != kHeaderSize || get32(in + hFlags) != 0 || !allZero(in + hReserved, 8))
        return ParseError::damaged;
    h.kdf = get32(in + hKdf);
    h.opslimit = get32(in + hOps);
    h.memlimitKib = get32(in + hMem);
    h.chunkSize = get32(in + hChunk);
    if (h.chunkSize != kChunkSize) return ParseError::damaged;
    std::memcpy(h.salt, in + hSalt, kSaltSize);
    std::memcpy(h.streamHeader, in + hStream, kStreamHeaderSize);
    std::memcpy(h.keyCheck, in + hCheck, kKeyCheckSize);
    h.sealedSize = get64(in + hSealed);
    h.stubSize = get64(in + hStub);
    if (!contentSizeFor(h.sealedSize)) return ParseError::damaged;
    return ParseError::none;
}

ParseError checkKdfCost(const Header& h) {
    if (h.kdf != kKdfArgon2id13) return ParseError::unsupported;
    if (h.opslimit < kOpsMin || h.opslimit > kOpsMax || h.memlimitKib < kMemKibMin ||
        h.memlimitKib > kMemKibMax ||
        std::uint64_t{h.opslimit} * std::uint64_t{h.memlimitKib} > kWorkKibMax)
        return ParseError::costTooHigh;
    return ParseError::none;
}

void encodeTrailer(const Trailer& t, std::uint8_t out[kTrailerSize]) {
    std::memset(out, 0, kTrailerSize);
    put64(out + tOffset, t.payloadOffset);
    put64(out + tSize, t.payloadSize);
    put16(out + tVersion, kFormatVersion);
    put16(out + tLength, kTrailerSize);
    std::memcpy(out + tMagic, kTrailerMagic, 8);
}

ParseError parseTrailer(const std::uint8_t in[kTrailerSize], std::uint64_t fileSize, Trailer& t) {
    if (std::memcmp(in + tMagic, kTrailerMagic, 8) != 0) return ParseError::notPackage;
    if (get16(in + tVersion) != kFormatVersion) return ParseError::unsupported;
    if (get16(in + tLength) != kTrailerSize || !allZero(in + tReserved, 4))
        return ParseError::damaged;
    t.payloadOffset = get64(in + tOffset);
    t.payloadSize = get64(in + tSize);
    // Written so that no sum can wrap: every term is checked against fileSize first.
    if (fileSize < kTrailerSize || t.payloadOffset > fileSize - kTrailerSize ||
        t.payloadSize != fileSize - kTrailerSize - t.payloadOffset ||
        t.payloadSize < kHeaderSize + kSealedMetadataSize)
        return ParseError::damaged;
    return ParseError::none;
}

ParseError checkAgreement(const Trailer& t, const Header& h) {
    if (h.stubSize != t.payloadOffset || h.sealedSize != t.payloadSize - kHeaderSize)
        return ParseError::damaged;
    return ParseError::none;
}

namespace {

std::uint64_t peProgramSize(const std::uint8_t* pe, std::size_t n) {
    // DOS stub, then "PE\0\0", the COFF header (20 bytes), the optional
    // header and the section table (40 bytes a section). Every field is 16
    // or 32 bits wide: no sum below can wrap.
    constexpr std::size_t kDosSize = 64, kCoffSize = 20, kSectionSize = 40;
    if (n < kDosSize || pe[0] != 'M' || pe[1] != 'Z') return 0;
    const std::uint64_t at = get32(pe + 0x3c);
    if (at > n || n - at < 4 + kCoffSize || std::memcmp(pe + at, "PE\0\0", 4) != 0) return 0;
    const std::uint8_t* coff = pe + at + 4;
    const std::uint64_t sections = get16(coff + 2), optionalSize = get16(coff + 16);
    const std::uint64_t table = at + 4 + kCoffSize + optionalSize;
    // SizeOfHeaders lies at the same place in PE32 and PE32+ optional headers.
    if (optionalSize < 64 || table + sections * kSectionSize > n) return 0;
    std::uint64_t end =
        std::max<std::uint64_t>(table + sections * kSectionSize, get32(coff + kCoffSize + 60));
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint8_t* section = pe + table + i * kSectionSize;
        const std::uint64_t rawSize = get32(section + 16), rawAt = get32(section + 20);
        if (rawSize != 0) end = std::max(end, rawAt + rawSize);
    }
    return end;
}

}  // namespace

std::uint64_t programSizeOf(const std::uint8_t* elf, std::size_t n) {
    if (const std::uint64_t pe = peProgramSize(elf, n); pe != 0) return pe;
    // ELF64 little-endian x86-64 header fields.
    constexpr std::size_t kEhdrSize = 64;
    if (n < kEhdrSize || std::memcmp(elf,
                                     "\x7f"
                                     "ELF\x02\x01",
                                     6) != 0)
        return 0;
    const std::uint64_t phoff = get64(elf + 32), shoff = get64(elf + 40);
    const std::uint64_t phentsize = get16(elf + 54), phnum = get16(elf + 56);
    const std::uint64_t shentsize = get16(elf + 58), shnum = get16(elf + 60);
    // 16-bit counts and sizes: no product below can wrap; offsets are capped.
    constexpr std::uint64_t kCap = std::uint64_t{1} << 48;
    if (phoff > kCap || shoff > kCap || phentsize < 56) return 0;
    std::uint64_t end = std::max<std::uint64_t>(kEhdrSize, shoff + shentsize * shnum);
    end = std::max(end, phoff + phentsize * phnum);
    for (std::uint64_t i = 0; i < phnum; ++i) {
        const std::uint64_t at = phoff + i * phentsize;
        if (at + 56 > n) return 0;  // program headers beyond what was read
        const std::uint8_t* ph = elf + at;
        constexpr std::uint32_t kLoad = 1;
        const std::uint64_t offset = get64(ph + 8), fileSize = get64(ph + 32);
        if (get32(ph) != kLoad) continue;
        if (offset > kCap || fileSize > kCap) return 0;
        end = std::max(end, offset + fileSize);
    }
    return end;
}

ParseError explainTrailerError(ParseError trailerError, std::uint64_t fileSize,
                               std::uint64_t programSize, const std::uint8_t* after,
                               std::size_t afterSize) {
    if (programSize == 0) return trailerError;
    if (fileSize < programSize) return ParseError::damaged;
    if (afterSize == 0 ||
        std::memcmp(after + hMagic, kHeaderMagic, std::min<std::size_t>(8, afterSize)) != 0)
        return trailerError;
    if (afterSize < kHeaderSize) return ParseError::damaged;
    // A header where the program ends: this is a package, cut short or with
    // bytes after it. The header is not trusted beyond telling which.
    const std::uint64_t sealed = get64(after + hSealed);
    const std::uint64_t room = fileSize - programSize;
    if (room >= kHeaderSize + kTrailerSize && sealed < room - kHeaderSize - kTrailerSize)
        return ParseError::extraData;
    return ParseError::damaged;
}

std::uint64_t chunkCountFor(std::uint64_t contentSize) {
    return contentSize / kChunkSize + (contentSize % kChunkSize != 0);
}

std::uint64_t sealedSizeFor(std::uint64_t contentSize) {
    return kSealedMetadataSize + contentSize + kTagOverhead * chunkCountFor(contentSize);
}

std::optional<std::uint64_t> contentSizeFor(std::uint64_t sealedSize) {
    if (sealedSize < kSealedMetadataSize) return std::nullopt;
    const std::uint64_t rest = sealedSize - kSealedMetadataSize;
    constexpr std::uint64_t fullChunk = kChunkSize + kTagOverhead;
    const std::uint64_t full = rest / fullChunk;
    const std::uint64_t tail = rest % fullChunk;
    // A short last chunk carries at least one byte besides its tag.
    if (tail != 0 && tail <= kTagOverhead) return std::nullopt;
    const std::uint64_t size = full * kChunkSize + (tail == 0 ? 0 : tail - kTagOverhead);
    assert(sealedSizeFor(size) == sealedSize);
    return size;
}

bool encodeMetadata(const Metadata& m, std::uint8_t out[kMetadataSize]) {
    if (m.name.empty() || m.name.size() > kNameMax) return false;
    std::memset(out, 0, kMetadataSize);
    put64(out + mSize, m.size);
    put64(out + mSec, static_cast<std::uint64_t>(m.mtimeSec));
    put32(out + mNsec, m.mtimeNsec);
    put32(out + mMode, m.mode);
    put16(out + mNameLen, static_cast<std::uint16_t>(m.name.size()));
    std::memcpy(out + mName, m.name.data(), m.name.size());
    return true;
}

bool parseMetadata(const std::uint8_t in[kMetadataSize], Metadata& m) {
    const std::size_t len = get16(in + mNameLen);
    if (len == 0 || len > kNameMax) return false;
    if (!allZero(in + mName + len, kMetadataSize - mName - len)) return false;
    m.size = get64(in + mSize);
    m.mtimeSec = static_cast<std::int64_t>(get64(in + mSec));
    m.mtimeNsec = get32(in + mNsec);
    m.mode = get32(in + mMode);
    if (m.mtimeNsec >= 1000000000u || (m.mode & ~07777u) != 0) return false;
    m.name.assign(reinterpret_cast<const char*>(in + mName), len);
    return true;
}

std::string sanitizeName(const std::string& stored, const std::string& fallback) {
    std::string name;
    name.reserve(stored.size());
    for (const char c : stored) {
        const auto u = static_cast<unsigned char>(c);
        name.push_back(u < 0x20 || u == 0x7f || c == '/' || c == '\\' ? '_' : c);
    }
    if (name.empty() || name == "." || name == "..") return fallback;
    return name;
}

}  // namespace dozo::rivo
