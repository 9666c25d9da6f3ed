// The key stream, byte for byte.

#include <gtest/gtest.h>

#include <random>

#include "loaded_vod32.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

// The classic loop: a 256-byte key buffer, each entry advanced by 57 after
// it is used.
Bytes reference(const Bytes& source, const std::string& key) {
    unsigned char buffer[256];
    std::copy(key.begin(), key.end(), buffer);
    Bytes out;
    std::size_t i = 0;
    for (unsigned char b : source) {
        out.push_back(b ^ buffer[i]);
        buffer[i] = static_cast<unsigned char>(buffer[i] + 57);
        if (++i == key.size()) i = 0;
    }
    return out;
}

Bytes encrypted(const Bytes& source, const std::string& key) {
    TempDir dir;
    writeFile(dir / "in", source);
    EXPECT_EQ(vod32().encrypt(nullptr, (dir / "in").c_str(), (dir / "out").c_str(),
                              (dir / "Temp.$$$").c_str(), key.c_str()),
              VOD32_OK);
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"in", "out"}));
    EXPECT_EQ(readFile(dir / "in"), source);
    return readFile(dir / "out");
}

Bytes encryptedInPlace(const Bytes& source, const std::string& key) {
    TempDir dir;
    writeFile(dir / "f", source);
    EXPECT_EQ(vod32().encryptInPlace(nullptr, (dir / "f").c_str(), (dir / "Temp.$$$").c_str(),
                                     key.c_str()),
              VOD32_OK);
    EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
    return readFile(dir / "f");
}

std::string randomKey(std::size_t length, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string key;
    while (key.size() < length)
        if (const char c = static_cast<char>(rng()); c != '\0') key.push_back(c);
    return key;
}

TEST(Vod32, VersionIs101) {
    EXPECT_EQ(vod32().version(), 101);
}

TEST(Vod32, WorkedValues) {
    // A one-byte key over zero bytes shows the key stream itself: 1, 1 + 57, ...
    const Bytes stream = encrypted(Bytes(512, 0), std::string(1, '\x01'));
    for (std::size_t n = 0; n < 256; ++n) {
        ASSERT_EQ(stream[n], static_cast<unsigned char>(1 + 57 * n)) << n;
        ASSERT_EQ(stream[n + 256], stream[n]) << n;
    }
    EXPECT_EQ(std::set<unsigned char>(stream.begin(), stream.begin() + 256).size(), 256u);

    // "暗号" in code page 932 is 88 C3 8D 86; each byte steps by 0x39 per round.
    EXPECT_EQ(encrypted(Bytes(10, 0), "\x88\xC3\x8D\x86"), hex("88 c3 8d 86 c1 fc c6 bf fa 35"));
    EXPECT_EQ(encrypted(hex("ff ff ff ff"), "\x88\xC3\x8D\x86"), hex("77 3c 72 79"));
    EXPECT_EQ(encrypted({}, "k"), Bytes{});
    EXPECT_EQ(encryptedInPlace({}, "k"), Bytes{});
}

TEST(Vod32, MatchesTheByteLoopAcrossBlocksAndKeyPeriods) {
    for (std::size_t keyLength : {1, 2, 7, 255}) {
        const std::string key = randomKey(keyLength, static_cast<std::uint32_t>(keyLength));
        const std::size_t period = 256 * keyLength;
        std::vector<std::size_t> lengths = {1,          2,         keyLength,  keyLength + 1,
                                            period - 1, period,    period + 1, 65536 + 1,
                                            kBlock - 1, kBlock + 1};
        std::mt19937 rng(static_cast<std::uint32_t>(keyLength));
        lengths.push_back(kBlock + period * 3 + rng() % period);
        for (std::size_t n : lengths) {
            SCOPED_TRACE("key length " + std::to_string(keyLength) + ", file length " +
                         std::to_string(n));
            const Bytes source = randomBytes(n, static_cast<std::uint32_t>(n + keyLength));
            const Bytes expected = reference(source, key);
            ASSERT_EQ(encrypted(source, key), expected);
            ASSERT_EQ(encryptedInPlace(source, key), expected);
        }
    }
}

TEST(Vod32, TwoRunsWithTheSameKeyRestoreTheFile) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{999}, 2 * kBlock + 1}) {
        SCOPED_TRACE(n);
        const Bytes source = randomBytes(n, 11);
        const std::string key = randomKey(13, 12);
        EXPECT_EQ(encryptedInPlace(encryptedInPlace(source, key), key), source);
    }
}

TEST(Vod32, LongestKeyIsAccepted) {
    const std::string key = randomKey(255, 3);
    const Bytes source = randomBytes(70000, 4);
    EXPECT_EQ(encrypted(source, key), reference(source, key));
}

}  // namespace
}  // namespace dozo::test
