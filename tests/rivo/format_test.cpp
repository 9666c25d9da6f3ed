// The parsing the stub runs on untrusted bytes, at its edges.
#include <gtest/gtest.h>

#include <cstring>

#include "format.h"

using namespace dozo::rivo;

TEST(RivoFormat, SealedSizeRoundTripsAtChunkEdges) {
    for (std::uint64_t size :
         {0ull, 1ull, 65535ull, 65536ull, 65537ull, 131072ull, 131073ull, (1ull << 40) + 3}) {
        const auto sealed = sealedSizeFor(size);
        ASSERT_EQ(contentSizeFor(sealed), size) << size;
    }
}

TEST(RivoFormat, SealedSizesNoContentCanHaveAreRefused) {
    const std::uint64_t base = kSealedMetadataSize;
    const std::uint64_t impossible[] = {0, base - 1, base + 1, base + kTagOverhead,
                                        base + kChunkSize + kTagOverhead + kTagOverhead};
    for (std::uint64_t sealed : impossible) {
        EXPECT_FALSE(contentSizeFor(sealed).has_value()) << sealed;
    }
}

TEST(RivoFormat, KdfCostBounds) {
    struct Case {
        std::uint32_t kdf, ops, memKib;
        ParseError want;
    } cases[] = {
        {kKdfArgon2id13, 3, 256 * 1024, ParseError::none},
        {kKdfArgon2id13, 1, 8, ParseError::none},
        {kKdfArgon2id13, 4, 1024 * 1024, ParseError::none},
        {kKdfArgon2id13, 0, 8192, ParseError::costTooHigh},
        {kKdfArgon2id13, 17, 8192, ParseError::costTooHigh},
        {kKdfArgon2id13, 3, 7, ParseError::costTooHigh},
        {kKdfArgon2id13, 3, 1024 * 1024 + 1, ParseError::costTooHigh},
        {kKdfArgon2id13, 5, 1024 * 1024, ParseError::costTooHigh},  // work bound
        {kKdfArgon2id13, 0xffffffffu, 0xffffffffu, ParseError::costTooHigh},
        {1, 3, 8192, ParseError::unsupported},  // Argon2i
    };
    for (const auto& c : cases) {
        Header h;
        h.kdf = c.kdf;
        h.opslimit = c.ops;
        h.memlimitKib = c.memKib;
        EXPECT_EQ(checkKdfCost(h), c.want) << c.ops << " " << c.memKib;
    }
}

TEST(RivoFormat, HeaderRoundTripAndFieldChecks) {
    Header h;
    h.opslimit = 3;
    h.memlimitKib = 1234;
    h.sealedSize = sealedSizeFor(99);
    h.stubSize = 4096;
    h.salt[3] = 7;
    h.keyCheck[31] = 9;
    std::uint8_t bytes[kHeaderSize];
    encodeHeader(h, bytes);
    Header back;
    ASSERT_EQ(parseHeader(bytes, back), ParseError::none);
    EXPECT_EQ(back.memlimitKib, 1234u);
    EXPECT_EQ(back.stubSize, 4096u);
    EXPECT_EQ(back.salt[3], 7);
    EXPECT_EQ(back.keyCheck[31], 9);

    struct Case {
        std::size_t offset;
        std::uint8_t value;
        ParseError want;
    } cases[] = {
        {0, 'X', ParseError::damaged},    // magic
        {8, 2, ParseError::unsupported},  // version
        {10, 0, ParseError::damaged},     // header size
        {12, 1, ParseError::damaged},     // flags
        {30, 2, ParseError::damaged},     // chunk size
        {104, 1, ParseError::damaged},    // sealed size no content fits
        {120, 1, ParseError::damaged},    // reserved
    };
    for (const auto& c : cases) {
        std::uint8_t copy[kHeaderSize];
        std::memcpy(copy, bytes, kHeaderSize);
        copy[c.offset] = c.value;
        EXPECT_EQ(parseHeader(copy, back), c.want) << c.offset;
    }
}

TEST(RivoFormat, TrailerMustDescribeExactlyTheFile) {
    const std::uint64_t payload = kHeaderSize + sealedSizeFor(10);
    std::uint8_t bytes[kTrailerSize];
    encodeTrailer(Trailer{1000, payload}, bytes);
    const std::uint64_t size = 1000 + payload + kTrailerSize;
    Trailer t;
    EXPECT_EQ(parseTrailer(bytes, size, t), ParseError::none);
    EXPECT_EQ(parseTrailer(bytes, size + 1, t), ParseError::damaged);  // appended byte
    EXPECT_EQ(parseTrailer(bytes, size - 1, t), ParseError::damaged);  // cut short
    EXPECT_EQ(parseTrailer(bytes, 10, t), ParseError::damaged);

    // Offsets chosen so that a careless sum would wrap to the right file size.
    encodeTrailer(Trailer{~0ull - 5, payload + 6 + kTrailerSize + 1000}, bytes);
    EXPECT_EQ(parseTrailer(bytes, 1000, t), ParseError::damaged);

    encodeTrailer(Trailer{1000, payload}, bytes);
    bytes[kTrailerSize - 1] ^= 1;
    EXPECT_EQ(parseTrailer(bytes, size, t), ParseError::notPackage);
}

TEST(RivoFormat, MetadataRejectsMalformedRecords) {
    Metadata m{.size = 5, .mtimeSec = -3, .mtimeNsec = 999999999, .mode = 04755, .name = "a"};
    std::uint8_t bytes[kMetadataSize];
    ASSERT_TRUE(encodeMetadata(m, bytes));
    Metadata back;
    ASSERT_TRUE(parseMetadata(bytes, back));
    EXPECT_EQ(back.mtimeSec, -3);
    EXPECT_EQ(back.mode, 04755u);

    EXPECT_FALSE(encodeMetadata(Metadata{.name = ""}, bytes));
    EXPECT_FALSE(encodeMetadata(Metadata{.name = std::string(256, 'x')}, bytes));
    EXPECT_TRUE(encodeMetadata(Metadata{.name = std::string(255, 'x')}, bytes));

    ASSERT_TRUE(encodeMetadata(m, bytes));
    bytes[200] = 1;  // garbage after the name
    EXPECT_FALSE(parseMetadata(bytes, back));
    ASSERT_TRUE(encodeMetadata(Metadata{.mtimeNsec = 1000000000, .name = "a"}, bytes));
    EXPECT_FALSE(parseMetadata(bytes, back));
    ASSERT_TRUE(encodeMetadata(Metadata{.mode = 010000, .name = "a"}, bytes));
    EXPECT_FALSE(parseMetadata(bytes, back));
}

TEST(RivoFormat, StoredNamesAreMadeSafe) {
    const struct {
        std::string stored, want;
    } cases[] = {
        {"report.txt", "report.txt"},
        {"日本語の名前.txt", "日本語の名前.txt"},
        {".hidden", ".hidden"},
        {"../../x", ".._.._x"},
        {"/etc/passwd", "_etc_passwd"},
        {"a\\b", "a_b"},
        {"tab\there\nnl\x7f", "tab_here_nl_"},
        {".", "fallback"},
        {"..", "fallback"},
        {"", "fallback"},
    };
    for (const auto& c : cases) EXPECT_EQ(sanitizeName(c.stored, "fallback"), c.want) << c.stored;
}
