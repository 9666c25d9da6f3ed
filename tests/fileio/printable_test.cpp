#include <gtest/gtest.h>

#include <string>

#include "dozo/fileio/printable.h"

namespace dozo::test {
namespace {

TEST(Printable, EscapesWhatCouldDriveOrMisleadATerminal) {
    struct Case {
        std::string name, shown;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt"},
        {"日本語 ファイル.txt", "日本語 ファイル.txt"},
        {"esc\x1b[2J", "esc\\x1b[2J"},
        {"line\nbreak", "line\\x0abreak"},
        {"csi \xc2\x9b", "csi \\xc2\\x9b"},
        {"nbsp \xc2\xa0 stays", "nbsp \xc2\xa0 stays"},
        {"not utf-8 \xff", "not utf-8 \\xff"},
        // A backslash is doubled, so the escaped form of one name is never
        // the plain form of another.
        {"a\\b", "a\\\\b"},
        {"\\x1b", "\\\\x1b"},
        {"\\", "\\\\"},
        // Bidirectional formatting: "txt.exe" must not show as "exe.txt".
        {"report\xe2\x80\xaetxt.exe", "report\\xe2\\x80\\xaetxt.exe"},
        {"\xe2\x80\x8e\xe2\x80\x8f", "\\xe2\\x80\\x8e\\xe2\\x80\\x8f"},
        {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad",
         "\\xe2\\x80\\xaa\\xe2\\x80\\xab\\xe2\\x80\\xac\\xe2\\x80\\xad"},
        {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9",
         "\\xe2\\x81\\xa6\\xe2\\x81\\xa7\\xe2\\x81\\xa8\\xe2\\x81\\xa9"},
        // Every other character that draws nothing: zero-width ones, the
        // byte order mark, the Arabic letter mark, the line and paragraph
        // separators, a soft hyphen, a tag character.
        {"a\xe2\x80\x8b\xe2\x80\x8d\xef\xbb\xbf\xd8\x9c"
         "b",
         "a\\xe2\\x80\\x8b\\xe2\\x80\\x8d\\xef\\xbb\\xbf\\xd8\\x9cb"},
        {"\xe2\x80\xa8\xe2\x80\xa9\xc2\xad\xf3\xa0\x80\x81",
         "\\xe2\\x80\\xa8\\xe2\\x80\\xa9\\xc2\\xad\\xf3\\xa0\\x80\\x81"},
        // Their neighbours are ordinary characters.
        {"\xe2\x80\x90\xe2\x80\xaf\xe2\x81\xb0\xef\xbb\xbe\xc2\xae",
         "\xe2\x80\x90\xe2\x80\xaf\xe2\x81\xb0\xef\xbb\xbe\xc2\xae"},
        // A cut-off sequence is bytes, not a character.
        {"cut \xe2\x80", "cut \\xe2\\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(fileio::printable(c.name), c.shown);
        // What a listing shows stands for one name only: the one shown.
        EXPECT_EQ(fileio::fromPrintable(c.shown), c.name);
    }
}

// Control characters are text all the same; only bytes that form no
// character make a name one the archiver will not store.
TEST(Printable, IsUtf8TellsTextFromStrayBytes) {
    const struct {
        const char* name;
        bool utf8;
    } cases[] = {
        {"line\nbreak \x1b", true},  {"日本語 \xf0\x9f\x98\x80", true},
        {"x\xe9.txt", false},         // Latin-1
        {"\x82\xa0", false},          // code page 932
        {"\xc0\xaf", false},          // overlong '/'
        {"\xed\xa0\x80", false},      // a surrogate
        {"\xf4\x90\x80\x80", false},  // past U+10FFFF
        {"cut \xe2\x80", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fileio::isUtf8(c.name), c.utf8);
    }
}

}  // namespace
}  // namespace dozo::test
