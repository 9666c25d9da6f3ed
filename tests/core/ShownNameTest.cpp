// A name as lists, messages and the terminal show it: nothing in it may
// draw as nothing. Checked against Qt's own character table, so a format
// character of a newer Unicode than the escape table knows fails here.
#include "core/text/ShownName.h"

#include <gtest/gtest.h>
#include <QChar>
#include <QString>

namespace {

bool drawsNothing(char32_t c) {
    switch (QChar::category(c)) {
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
        case QChar::Other_Control:
            return true;
        default:
            return false;
    }
}

// Planes 0, 1 and 14 hold every format character there is; the planes
// between hold ideographs only.
TEST(CoreShownName, EveryCharacterThatDrawsNothingIsEscapedAndNoOtherIs) {
    int escaped = 0;
    for (const auto& [first, last] :
         {std::pair<char32_t, char32_t>{0x20, 0x1FFFF}, {0xE0000, 0xE0FFF}}) {
        for (char32_t c = first; c <= last; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            // Not fromUcs4, which takes a leading U+FEFF for a byte order mark.
            const QChar units[2] = {QChar(QChar::highSurrogate(c)), QChar(QChar::lowSurrogate(c))};
            const QString character =
                QChar::requiresSurrogates(c) ? QString(units, 2) : QString(QChar(c));
            const QString name = QStringLiteral("a") + character + QStringLiteral("b");
            const QString shown = dozo::shownName(name);
            if (drawsNothing(c)) {
                ++escaped;
                EXPECT_TRUE(shown.startsWith(QStringLiteral("a\\x")) && !shown.contains(character))
                    << std::hex << "U+" << static_cast<unsigned>(c);
            } else if (QChar::category(c) != QChar::Other_NotAssigned && c != U'\\') {
                EXPECT_EQ(shown, name) << std::hex << "U+" << static_cast<unsigned>(c);
            }
        }
    }
    // The C1 controls, DEL and at least the 160-odd format characters.
    EXPECT_GT(escaped, 33 + 150);
}

}  // namespace
