#include "core/jobs/VovKey.h"

#include "core/text/CodePage932.h"
#include "core/text/Language.h"

namespace dozo {

namespace {

// The first character the code page cannot hold, whole even when it takes
// two UTF-16 units.
QString firstUnrepresentable(const QString& key) {
    for (int i = 0; i < key.size(); ++i) {
        const int width = key[i].isHighSurrogate() && i + 1 < key.size() ? 2 : 1;
        const QString character = key.mid(i, width);
        if (!toCodePage932(character) || character == QChar(u'\0')) return character;
        i += width - 1;
    }
    return QString();
}

}  // namespace

std::optional<QByteArray> VovKey::encode(const QString& key, QString* refusal) {
    const auto refuse = [refusal](const QString& text) -> std::optional<QByteArray> {
        if (refusal)
            *refusal = text + say("\nファイルは変更されていません。", "; no file was changed");
        return std::nullopt;
    };
    if (key.isEmpty()) return refuse(say("暗号化キーが空です。", "the key is empty"));

    const std::optional<QByteArray> bytes = toCodePage932(key);
    // A NUL would end the key early in the library: everything after it
    // would silently not count.
    if (!bytes || bytes->contains('\0')) {
        const QString bad = firstUnrepresentable(key);
        const QString shown = bad == QChar(u'\0') ? QStringLiteral("NUL") : bad;
        return refuse(say("暗号化キーに使用できない文字「%1」が含まれています。\n"
                          "暗号化キーにはシフトJIS（コードページ932）で表せる文字だけが使えます。",
                          "the key holds \"%1\", which code page 932 (Shift_JIS) cannot hold")
                          .arg(shown));
    }
    if (bytes->size() > kMaxBytes) {
        return refuse(say("暗号化キーが長すぎます（%1 バイト）。\n"
                          "全角文字を2バイトとして %2 バイト以内で指定してください。",
                          "the key takes %1 bytes in code page 932; at most %2 are allowed")
                          .arg(bytes->size())
                          .arg(kMaxBytes));
    }
    return bytes;
}

bool VovKey::confirmed(const QString& key, const QString& again, QString* refusal) {
    if (key == again) return true;
    if (refusal) {
        *refusal = say("2回入力した暗号化キーが一致しません。\nファイルは変更されていません。",
                       "the two keys typed differ; no file was changed");
    }
    return false;
}

}  // namespace dozo
