#include "dozo/textcodec/cp932.h"

#include <iconv.h>

namespace dozo::textcodec {
namespace {

// glibc's iconv carries CP932 with the vendor extensions; without
// "//TRANSLIT" it stops at the first character it cannot hold.
std::optional<std::string> convert(const char* to, const char* from, std::string_view in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    const bool ok = rc != static_cast<std::size_t>(-1) && srcLeft == 0 &&
                    iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

std::optional<std::string> toCp932(std::string_view utf8) {
    auto cp = convert("CP932", "UTF-8", utf8);
    if (!cp) return std::nullopt;
    // Several Unicode characters fold onto one code page 932 byte pair (and
    // back onto another); a reader would then restore a different name.
    auto back = convert("UTF-8", "CP932", *cp);
    if (!back || *back != utf8) return std::nullopt;
    return cp;
}

std::optional<std::string> toCp932(std::u16string_view utf16) {
    std::string utf8;
    utf8.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return std::nullopt;
        }
        const auto put = [&](char32_t byte) { utf8 += static_cast<char>(byte); };
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        } else {
            put(0xF0 | (c >> 18));
            put(0x80 | ((c >> 12) & 0x3F));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        }
    }
    return toCp932(utf8);
}

}  // namespace dozo::textcodec
