// What each method leaves in the destination, byte for byte.

#include <gtest/gtest.h>

#include <random>

#include "reference.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

// Runs one method from a fresh source file to a separate destination and
// returns the destination's bytes; the call must succeed and clean up.
Bytes transformed(const NamedMethod& m, const Bytes& source) {
    TempDir dir;
    writeFile(dir / "in", source);
    EXPECT_EQ(
        m.call(nullptr, (dir / "in").c_str(), (dir / "out").c_str(), (dir / "Temp.$$$").c_str()),
        ROZU32_OK)
        << m.name;
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"in", "out"})) << m.name;
    EXPECT_EQ(readFile(dir / "in"), source) << m.name;
    return readFile(dir / "out");
}

// The same, in place, as the application calls it (with a window handle the
// library must never touch).
Bytes transformedInPlace(const NamedMethod& m, const Bytes& source) {
    TempDir dir;
    writeFile(dir / "f", source);
    EXPECT_EQ(m.call(reinterpret_cast<void*>(std::uintptr_t{0xdeadbeef}), (dir / "f").c_str(),
                     (dir / "f").c_str(), (dir / "Temp.$$$").c_str()),
              ROZU32_OK)
        << m.name;
    EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"}) << m.name;
    return readFile(dir / "f");
}

TEST(Rozu32, VersionIs111) {
    EXPECT_EQ(rozu32().get<decltype(RazuGetVersion)>("RazuGetVersion")(), 111);
}

TEST(Rozu32, WorkedValues) {
    struct Row {
        const char* method;
        const char* out6162636;  // from 61 62 63 64
        const char* out616263;   // from 61 62 63
        const char* outFF0080;   // from ff 00 80
    };
    const Row rows[] = {
        {"FileEncryptionA", "9e 9d 9c 9b", "9e 9d 9c", "00 ff 7f"},
        {"FileEncryptionC", "62 61 64 63", "62 61 63", "00 ff 80"},
        {"FileEncryptionLC", "9d 9e 9b 9c", "9d 9e 9c", "ff 00 7f"},
        {"FileEncryptionLCR", "63 64 61 62", "62 63 61", "00 80 ff"},
        {"FileEncryptionLCB", "60 63 66 61", "60 63 61", "02 fd 82"},
        {"FileEncryptionLCRB", "66 61 60 63", "61 60 63", "82 02 fd"},
        {"i_CLOL", "60 63 66 61", "60 63 61", "02 fd 82"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.method);
        const NamedMethod& m = method(row.method);
        EXPECT_EQ(transformed(m, hex("61 62 63 64")), hex(row.out6162636));
        EXPECT_EQ(transformed(m, hex("61 62 63")), hex(row.out616263));
        EXPECT_EQ(transformedInPlace(m, hex("ff 00 80")), hex(row.outFF0080));
    }
}

TEST(Rozu32, EmptyAndOneByteSources) {
    for (const auto& m : methods()) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(transformed(m, {}), Bytes{});
        EXPECT_EQ(transformedInPlace(m, {}), Bytes{});
        EXPECT_EQ(transformed(m, hex("ff")), m.reference(hex("ff")));
    }
    EXPECT_EQ(transformed(method("FileEncryptionLCR"), hex("5a")), hex("5a"));
    EXPECT_EQ(transformed(method("FileEncryptionLCRB"), hex("5a")), hex("58"));
}

TEST(Rozu32, AllFFIsProcessedToItsEnd) {
    EXPECT_EQ(transformed(method("FileEncryptionA"), Bytes(4099, 0xFF)), Bytes(4099, 0x00));
}

// Lengths around the block size catch pairs and reversed chunks that straddle
// a block boundary; the rest are random.
std::vector<std::size_t> interestingLengths() {
    std::vector<std::size_t> lengths = {2, 3, 7, 8, 9, 15, 16, 17, 4096, 65537};
    for (std::size_t base : {kBlock, 2 * kBlock})
        for (long delta : {-3, -2, -1, 0, 1, 2, 3}) lengths.push_back(base + delta);
    std::mt19937 rng(20260);
    for (int i = 0; i < 6; ++i) lengths.push_back(rng() % (3 * kBlock));
    return lengths;
}

TEST(Rozu32, MatchesPassByPassReferenceAtEveryLength) {
    for (std::size_t n : interestingLengths()) {
        const Bytes source = randomBytes(n, static_cast<std::uint32_t>(n));
        for (const auto& m : methods()) {
            SCOPED_TRACE(std::string(m.name) + " length " + std::to_string(n));
            ASSERT_EQ(transformedInPlace(m, source), m.reference(source));
        }
    }
}

TEST(Rozu32, RunningAMethodTwiceRestoresTheFile) {
    for (std::size_t n : interestingLengths()) {
        const Bytes source = randomBytes(n, static_cast<std::uint32_t>(n) + 1);
        for (const auto& m : methods()) {
            // The reversal-and-swap is only an involution on even lengths.
            if (std::string(m.name) == "FileEncryptionLCR" && n % 2 == 1) continue;
            SCOPED_TRACE(std::string(m.name) + " length " + std::to_string(n));
            ASSERT_EQ(transformedInPlace(m, transformedInPlace(m, source)), source);
        }
    }
}

TEST(Rozu32, LCRIsNotItsOwnInverseOnOddLengths) {
    const NamedMethod& lcr = method("FileEncryptionLCR");
    const Bytes once = transformed(lcr, hex("61 62 63"));
    EXPECT_EQ(once, hex("62 63 61"));
    EXPECT_EQ(transformed(lcr, once), hex("63 61 62"));

    // LCB then LCRB undoes LCR at every length, odd ones included.
    for (std::size_t n : {std::size_t{1}, std::size_t{3}, std::size_t{5}, kBlock - 1, kBlock + 1}) {
        SCOPED_TRACE(n);
        const Bytes source = randomBytes(n, 7);
        const Bytes out = transformedInPlace(lcr, source);
        if (n >= 3) {
            EXPECT_NE(transformedInPlace(lcr, out), source);
        }
        EXPECT_EQ(transformedInPlace(method("FileEncryptionLCRB"),
                                     transformedInPlace(method("FileEncryptionLCB"), out)),
                  source);
    }
}

TEST(Rozu32, LCBAndiCLOLGiveTheSameBytes) {
    for (std::size_t n : interestingLengths()) {
        SCOPED_TRACE(n);
        const Bytes source = randomBytes(n, static_cast<std::uint32_t>(n) + 2);
        ASSERT_EQ(transformed(method("FileEncryptionLCB"), source),
                  transformed(method("i_CLOL"), source));
    }
}

}  // namespace
}  // namespace dozo::test
