#include "core/text/CodePage932.h"

#include "dozo/textcodec/cp932.h"

namespace dozo {

std::optional<QByteArray> toCodePage932(const QString& text) {
    const std::u16string_view utf16(reinterpret_cast<const char16_t*>(text.utf16()),
                                    static_cast<std::size_t>(text.size()));
    const std::optional<std::string> bytes = textcodec::toCp932(utf16);
    if (!bytes) return std::nullopt;
    return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
}

}  // namespace dozo
