#include "core/text/CodePage932.h"

#include <iconv.h>

namespace dozo {

std::optional<QByteArray> toCodePage932(const QString& text) {
    // glibc's iconv carries CP932 with the vendor extensions Windows uses;
    // QStringEncoder has it only when Qt was built with ICU. Without
    // "//TRANSLIT" iconv stops at the first character it cannot hold, which
    // is exactly the refusal wanted here.
    // toUtf8() would turn a lone surrogate into "?", which the code page
    // holds: it has to be refused before the conversion.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            return std::nullopt;
        }
    }

    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    QByteArray in = text.toUtf8();
    // Two output bytes per input byte is more than any character needs, so
    // the only failure left is a character without a code.
    QByteArray out(in.size() * 2 + 8, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = static_cast<std::size_t>(in.size());
    char* outPtr = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());

    bool ok = true;
    while (inLeft > 0) {
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            ok = false;
            break;
        }
    }
    if (ok && iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        ok = false;
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.truncate(static_cast<int>(outPtr - out.data()));
    return out;
}

}  // namespace dozo
