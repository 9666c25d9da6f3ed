#pragma once

// Byte layout of a package: stub executable, payload (header + sealed
// messages), fixed trailer. Pure parsing and encoding, no crypto, so the
// fuzz target exercises exactly what the stub runs on untrusted bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dozo::rivo {

inline constexpr std::uint16_t kFormatVersion = 1;

inline constexpr std::size_t kHeaderSize = 128;
inline constexpr std::size_t kTrailerSize = 32;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kStreamHeaderSize = 24;  // secretstream header
inline constexpr std::size_t kKeyCheckSize = 32;
inline constexpr std::size_t kTagOverhead = 17;  // secretstream ABYTES
inline constexpr std::uint32_t kChunkSize = 64 * 1024;

inline constexpr std::size_t kNameMax = 255;
inline constexpr std::size_t kMetadataSize = 288;
inline constexpr std::size_t kSealedMetadataSize = kMetadataSize + kTagOverhead;

inline constexpr std::uint32_t kKdfArgon2id13 = 2;  // crypto_pwhash_ALG_ARGON2ID13
// Bounds the stub accepts before it spends memory or time on a stored cost:
// a crafted header must be refused, not obeyed.
inline constexpr std::uint32_t kOpsMin = 1;
inline constexpr std::uint32_t kOpsMax = 16;
inline constexpr std::uint32_t kMemKibMin = 8;
inline constexpr std::uint32_t kMemKibMax = 1024 * 1024;          // 1 GiB
inline constexpr std::uint64_t kWorkKibMax = 4ull * 1024 * 1024;  // passes x memory

inline constexpr char kHeaderMagic[8] = {'D', 'O', 'Z', 'O', 'R', 'I', 'V', 'O'};
inline constexpr char kTrailerMagic[8] = {'R', 'I', 'V', 'O', '-', 'E', 'N', 'D'};

struct Header {
    std::uint16_t version = kFormatVersion;
    std::uint32_t kdf = kKdfArgon2id13;
    std::uint32_t opslimit = 0;
    std::uint32_t memlimitKib = 0;
    std::uint32_t chunkSize = kChunkSize;
    std::uint8_t salt[kSaltSize] = {};
    std::uint8_t streamHeader[kStreamHeaderSize] = {};
    std::uint8_t keyCheck[kKeyCheckSize] = {};
    std::uint64_t sealedSize = 0;  // bytes of sealed messages after the header
    std::uint64_t stubSize = 0;    // offset of the header in the package
};

struct Trailer {
    std::uint64_t payloadOffset = 0;
    std::uint64_t payloadSize = 0;  // header + sealed messages
};

struct Metadata {
    std::uint64_t size = 0;
    std::int64_t mtimeSec = 0;
    std::uint32_t mtimeNsec = 0;
    std::uint32_t mode = 0;
    std::string name;
};

enum class ParseError {
    none,
    notPackage,   // no trailer magic: not one of ours at all
    unsupported,  // a newer format version
    damaged,      // ours, but the fields do not agree
    costTooHigh,  // key-derivation parameters outside the accepted bounds
    extraData,    // a whole package with bytes after its end
};

void encodeHeader(const Header& h, std::uint8_t out[kHeaderSize]);
ParseError parseHeader(const std::uint8_t in[kHeaderSize], Header& h);
// Rejects parameters outside the bounds above.
ParseError checkKdfCost(const Header& h);

void encodeTrailer(const Trailer& t, std::uint8_t out[kTrailerSize]);
ParseError parseTrailer(const std::uint8_t in[kTrailerSize], std::uint64_t fileSize, Trailer& t);
// Trailer and header must describe the same payload.
ParseError checkAgreement(const Trailer& t, const Header& h);

// Where the program part of a file ends according to its headers (the first
// n bytes of the file): for a 64-bit ELF program (the Linux front), past its
// program headers, loaded segments and section headers; for a PE program (the
// Windows front), past its headers and the raw data of its sections. 0 when
// the bytes hold neither.
std::uint64_t programSizeOf(const std::uint8_t* program, std::size_t n);

// Tells apart why a file without a valid trailer is refused, from what lies
// where its program part ends (programSize, 0 when unknown): a program cut
// short, a package cut short or followed by extra bytes, or no package at
// all. after holds the afterSize bytes found at programSize (the file's, up
// to kHeaderSize).
ParseError explainTrailerError(ParseError trailerError, std::uint64_t fileSize,
                               std::uint64_t programSize, const std::uint8_t* after,
                               std::size_t afterSize);

// Sealed bytes for a content of the given size: the metadata message and
// one message per chunk.
std::uint64_t sealedSizeFor(std::uint64_t contentSize);
// The inverse; nullopt when no content size gives that many sealed bytes.
std::optional<std::uint64_t> contentSizeFor(std::uint64_t sealedSize);
std::uint64_t chunkCountFor(std::uint64_t contentSize);

// False when the name is empty or longer than kNameMax.
bool encodeMetadata(const Metadata& m, std::uint8_t out[kMetadataSize]);
bool parseMetadata(const std::uint8_t in[kMetadataSize], Metadata& m);

// A stored name made safe to create in one folder: no separators, no
// control characters, never "." or "..". Empty input gives fallback.
std::string sanitizeName(const std::string& stored, const std::string& fallback);

}  // namespace dozo::rivo
