#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dozo/textcodec/cp932.h"
#include "dozo/textcodec/crc16.h"
#include "files.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

using textcodec::crc16;

std::uint16_t crcOf(const Bytes& bytes) {
    return crc16(0, bytes);
}

TEST(TextCodecCrc16, PartsCombineIntoTheWhole) {
    EXPECT_EQ(crcOf(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xBB3D);
    EXPECT_EQ(crcOf({}), 0);
    const Bytes data = randomBytes(10007, 1);
    for (std::size_t cut :
         {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{4096}, data.size()}) {
        SCOPED_TRACE(cut);
        const std::span all(data);
        EXPECT_EQ(crc16(crc16(0, all.first(cut)), all.subspan(cut)), crcOf(data));
        EXPECT_EQ(textcodec::crc16Combine(crc16(0, all.first(cut)), crc16(0, all.subspan(cut)),
                                          data.size() - cut),
                  crcOf(data));
    }
}

TEST(TextCodecCrc16, AgreesWithTheBitwiseDefinitionAtEveryLengthAndStart) {
    // The CRC is taken sixteen bytes at a time: every length around a few
    // steps, from unaligned starts and a running CRC, against one bit at a time.
    const Bytes data = randomBytes(64, 2);
    for (std::size_t from = 0; from < 4; ++from) {
        for (std::size_t n = 0; from + n <= data.size(); ++n) {
            std::uint16_t expected = 0x1D0F;
            for (std::size_t i = from; i < from + n; ++i) {
                expected ^= data[i];
                for (int k = 0; k < 8; ++k)
                    expected = (expected & 1) ? (expected >> 1) ^ 0xA001 : expected >> 1;
            }
            ASSERT_EQ(crc16(0x1D0F, std::span(data).subspan(from, n)), expected)
                << "from " << from << ", " << n << " bytes";
        }
    }
}

TEST(TextCodecCrc16, OfAFileReadToItsEnd) {
    TempDir dir;
    // Around the 1 MiB block the file is read in.
    for (std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{1} << 20,
                             (std::size_t{1} << 20) + 3, std::size_t{3} << 20}) {
        SCOPED_TRACE(size);
        const Bytes data = randomBytes(size, 2);
        writeFile(dir / "f", data);
        const auto check = textcodec::crc16OfFile((dir / "f").c_str());
        ASSERT_TRUE(check);
        EXPECT_EQ(check->size, static_cast<std::int64_t>(size));
        EXPECT_EQ(check->crc, crcOf(data));
    }
    EXPECT_FALSE(textcodec::crc16OfFile((dir / "missing").c_str()));
    EXPECT_FALSE(textcodec::crc16OfFile(dir.path().c_str()));  // a folder reads as an error
}

TEST(TextCodecCp932, EncodesOnlyWhatComesBackUnchanged) {
    struct Case {
        const char* what;
        std::string utf8;
        std::optional<std::string> cp932;
    };
    const Case cases[] = {
        {"ascii", "report.txt", "report.txt"},
        {"kanji", "日本語", "\x93\xfa\x96\x7b\x8c\xea"},
        {"half-width katakana", "ｱ", "\xb1"},
        {"NEC special", "①", "\x87\x40"},
        {"wave dash folds onto the full-width tilde", "\xe3\x80\x9c", std::nullopt},
        {"full-width tilde", "\xef\xbd\x9e", "\x81\x60"},
        {"yen sign folds onto the backslash", "\xc2\xa5", std::nullopt},
        {"double vertical line folds onto the parallel sign", "\xe2\x80\x96", std::nullopt},
        {"outside the code page", "\xf0\x9f\x98\x80", std::nullopt},
        {"not UTF-8", "\xff", std::nullopt},
        {"encoded surrogate", "\xed\xa0\x80", std::nullopt},
        {"cut short", "\xe6\x97", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(textcodec::toCp932(c.utf8), c.cp932);
    }
}

TEST(TextCodecCp932, Utf16RefusesLoneSurrogates) {
    struct Case {
        const char* what;
        std::u16string utf16;
        std::optional<std::string> cp932;
    };
    const Case cases[] = {
        {"kanji", u"日本語", "\x93\xfa\x96\x7b\x8c\xea"},
        {"ascii with a NUL", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
        {"lone high surrogate", u"key\xd800", std::nullopt},
        {"lone low surrogate", u"\xdc00key", std::nullopt},
        {"pair outside the code page", u"\xd83d\xde00", std::nullopt},
        {"wave dash", u"\x301c", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(textcodec::toCp932(c.utf16), c.cp932);
    }
}

}  // namespace
}  // namespace dozo::test
