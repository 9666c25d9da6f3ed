// The list file that names the files of a pack ("u -a1 -r2 Q archive Q Q @list Q"):
// the archiver reads it with these rules and every caller writes it with
// listFileName(), so a name comes back exactly as it went in.
//
// Lines end at CR or LF. On a line, names are separated by spaces and TABs; a
// name in double quotes is taken as it stands up to the closing quote, where
// two quotes in a row stand for one quote of the name. A name that is not
// quoted runs to the next space or TAB (the archiver extends it over a space
// while the shorter piece names no existing file, which older callers that
// joined names with spaces relied on). No name can hold CR, LF or NUL.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dozo::contracts {

inline constexpr char kListFileQuote = '"';

inline constexpr bool isListFileLineBreak(char c) {
    return c == '\r' || c == '\n';
}

inline constexpr bool isListFileBlank(char c) {
    return c == ' ' || c == '\t';
}

// How name stands on a line of its own (its line break not included): as it
// is, or quoted when it holds a blank or a quote. Nothing for a name the list
// file cannot carry: an empty one, or one with a line break or NUL.
inline std::optional<std::string> listFileName(std::string_view name) {
    if (name.empty()) return std::nullopt;
    bool quote = false;
    for (const char c : name) {
        if (isListFileLineBreak(c) || c == '\0') return std::nullopt;
        quote = quote || isListFileBlank(c) || c == kListFileQuote;
    }
    if (!quote) return std::string(name);
    std::string text(1, kListFileQuote);
    for (const char c : name) {
        if (c == kListFileQuote) text += kListFileQuote;
        text += c;
    }
    return text + kListFileQuote;
}

}  // namespace dozo::contracts
