#include "dozo/fileio/printable.h"

namespace dozo::fileio {

namespace {

// Length of the well-formed UTF-8 sequence at s[i] (shortest form, no
// surrogates, at most U+10FFFF), 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return n;
}

// The code point of the well-formed sequence of n bytes at s[i].
char32_t codePoint(std::string_view s, std::size_t i, std::size_t n) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    if (n == 1) return byte(i);
    char32_t c = byte(i) & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
    return c;
}

// The format characters (general category Cf) and the line and paragraph
// separators. None of them draws a glyph of its own: one in a name can hide
// part of it (U+200B, U+FEFF), reorder what is shown so that "txt.exe" reads
// "exe.txt" (the bidirectional controls, U+061C), or break a line where none
// shows in the name. Sorted ranges, both ends included.
constexpr struct {
    char32_t first, last;
} kInvisible[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

bool invisible(char32_t c) {
    for (const auto& range : kInvisible) {
        if (c < range.first) return false;
        if (c <= range.last) return true;
    }
    return false;
}

}  // namespace

bool isUtf8(std::string_view name) {
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = utf8Length(name, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string printable(std::string_view name) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size());
    const auto escape = [&](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    };
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t n = utf8Length(name, i);
        if (c == '\\') {
            // Doubled, so that a name holding "\x1b" as text never reads
            // like one holding the escape character.
            out += "\\\\";
            ++i;
        } else if (n == 0 || c < 0x20 || c == 0x7F) {
            escape(c);
            ++i;
        } else if (const char32_t code = codePoint(name, i, n);
                   (code >= 0x80 && code < 0xA0) || invisible(code)) {
            // U+0080..U+009F are the C1 controls, CSI among them.
            for (std::size_t k = 0; k < n; ++k) escape(static_cast<unsigned char>(name[i + k]));
            i += n;
        } else {
            out.append(name.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string fromPrintable(std::string_view shown) {
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string name;
    name.reserve(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '\\' && i + 1 < shown.size() && shown[i + 1] == '\\') {
            name += '\\';
            ++i;
        } else if (shown[i] == '\\' && i + 3 < shown.size() && shown[i + 1] == 'x' &&
                   digit(shown[i + 2]) >= 0 && digit(shown[i + 3]) >= 0) {
            name += static_cast<char>(digit(shown[i + 2]) * 16 + digit(shown[i + 3]));
            i += 3;
        } else {
            name += shown[i];
        }
    }
    return name;
}

std::string diskName(std::string_view name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = 1;
        while (n <= 4 && i + n <= name.size() && !isUtf8(name.substr(i, n))) ++n;
        if (n <= 4 && i + n <= name.size()) {
            out.append(name, i, n);
            i += n;
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
        ++i;
    }
    return out;
}

}  // namespace dozo::fileio
