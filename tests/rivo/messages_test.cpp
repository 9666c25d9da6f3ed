// The package program's texts: both languages take the same printf
// arguments, and names from outside reach the terminal escaped.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "messages.h"

using namespace dozo::rivo;

namespace {

// The conversions of a printf format in order, each with its length
// modifiers ("%s", "%llu", "%.*s"); "%%" is text, not a conversion.
std::vector<std::string> conversions(const char* format) {
    std::vector<std::string> found;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        std::string conversion = "%";
        while (*++p != '\0' &&
               std::string("0123456789.*-+ #'hlLqjzt").find(*p) != std::string::npos)
            conversion.push_back(*p);
        if (*p == '\0') break;
        conversion.push_back(*p);
        found.push_back(conversion);
    }
    return found;
}

TEST(RivoMessages, ConversionsAreReadInOrder) {
    EXPECT_EQ(conversions("a %s b %llu %% %.*s %u%%"),
              (std::vector<std::string>{"%s", "%llu", "%.*s", "%u"}));
}

TEST(RivoMessages, JapaneseTakesTheSameArgumentsAsEnglish) {
    std::set<const char*> english;
    for (std::size_t i = 0; i < kJapaneseCount; ++i) {
        const Translation& t = kJapanese[i];
        EXPECT_TRUE(english.insert(t.english).second) << "translated twice: " << t.english;
        EXPECT_EQ(conversions(t.japanese), conversions(t.english)) << t.english;
        EXPECT_STRNE(t.japanese, t.english);
        // A line break at the end stays a line break at the end.
        EXPECT_EQ(std::string(t.japanese).ends_with('\n'), std::string(t.english).ends_with('\n'))
            << t.english;
    }
    EXPECT_EQ(english.count(Msg::extraData), 1u);
}

TEST(RivoMessages, NamesAreEscapedForTheTerminal) {
    const struct {
        std::string name, shownAs;
    } cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"日本語の名前.txt", "日本語の名前.txt"},
        {"red\x1b[31mtext", "red\\x1b[31mtext"},
        {"title\x1b]0;owned\x07", "title\\x1b]0;owned\\x07"},
        {"line\nbreak\rback\ttab", "line\\x0abreak\\x0dback\\x09tab"},
        {"del\x7f", "del\\x7f"},
        {"c1 csi \xc2\x9b"
         "31m",
         "c1 csi \\xc2\\x9b31m"},  // U+009B, CSI on some terminals
        {"lone \x9b byte", "lone \\x9b byte"},
        {"cut \xe6\x97", "cut \\xe6\\x97"},
        {"overlong \xc0\xaf", "overlong \\xc0\\xaf"},
        {"surrogate \xed\xa0\x80", "surrogate \\xed\\xa0\\x80"},
        {std::string("nul\0in", 6), "nul\\x00in"},
    };
    for (const auto& c : cases) EXPECT_EQ(shown(c.name), c.shownAs) << c.shownAs;
}

}  // namespace
