#include "lha/name_codec.h"

#include <iconv.h>

#include <cerrno>

namespace unlha {
namespace {

std::optional<std::string> convert(const char* to, const char* from, const std::string& in) {
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

std::optional<std::string> toCp932(const std::string& utf8) {
    auto cp = convert("CP932", "UTF-8", utf8);
    if (!cp) return std::nullopt;
    // Several Unicode characters fold onto one code page 932 byte pair (and
    // back onto another); a reader would then restore a different name.
    auto back = convert("UTF-8", "CP932", *cp);
    if (!back || *back != utf8) return std::nullopt;
    return cp;
}

}  // namespace unlha
