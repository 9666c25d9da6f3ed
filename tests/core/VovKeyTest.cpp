// Keys as the keyed library takes them: code page 932, refused rather than
// replaced, and no longer than the library reads.
#include "core/jobs/VovKey.h"
#include "core/text/CodePage932.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(CoreCodePage932, ConvertsWhatTheCodePageHoldsAndRefusesTheRest) {
    struct Case {
        const char* name;
        QString text;
        std::optional<QByteArray> bytes;
    };
    const Case cases[] = {
        {"Kanji", QStringLiteral("暗号"), QByteArray("\x88\xC3\x8D\x86")},
        {"Ascii", QStringLiteral("key 1"), QByteArray("key 1")},
        {"HalfWidthKana", QStringLiteral("ｱ"), QByteArray("\xB1")},
        {"Empty", QString(), QByteArray()},
        {"NecSpecial", QStringLiteral("①"), QByteArray("\x87\x40")},
        {"FullWidthTilde", QStringLiteral("～"), QByteArray("\x81\x60")},
        // Outside the code page: refused, never replaced by "?".
        {"SurrogatePairKanji", QStringLiteral("𠮷"), std::nullopt},
        {"Emoji", QStringLiteral("a😀"), std::nullopt},
        {"Hangul", QStringLiteral("한"), std::nullopt},
        {"LoneSurrogate", QString(QChar(0xD800)), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dozo::toCodePage932(c.text), c.bytes);
    }
}

TEST(CoreVovKey, RefusesWhatTheLibraryCouldNotTakeAsTyped) {
    QString refusal;
    EXPECT_EQ(dozo::VovKey::encode(QStringLiteral("暗号"), &refusal),
              QByteArray("\x88\xC3\x8D\x86"));
    EXPECT_EQ(dozo::VovKey::encode(QString(255, QChar(u'x')), &refusal), QByteArray(255, 'x'));
    // 127 kanji are 254 bytes, 128 are 256: one more than the library takes.
    EXPECT_TRUE(dozo::VovKey::encode(QString(127, QChar(u'暗')), &refusal));
    EXPECT_FALSE(dozo::VovKey::encode(QString(128, QChar(u'暗')), &refusal));
    EXPECT_TRUE(refusal.contains(QStringLiteral("長すぎます"))) << refusal.toStdString();

    EXPECT_FALSE(dozo::VovKey::encode(QStringLiteral("ab𠮷c"), &refusal));
    EXPECT_TRUE(refusal.contains(QStringLiteral("「𠮷」"))) << refusal.toStdString();
    // A NUL would cut the key short inside the library.
    EXPECT_FALSE(dozo::VovKey::encode(QStringLiteral("ab") + QChar(u'\0') + "c", &refusal));
    EXPECT_FALSE(dozo::VovKey::encode(QString(), &refusal));
}

}  // namespace
