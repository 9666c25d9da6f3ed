#include "app/dialogs/GetKeyValue.h"

#include <QFile>

namespace dozo {

namespace {

// The lookup reads into a buffer of this size; anything longer does not fit
// and is refused rather than cut, as a truncated path would name another file.
constexpr qsizetype kBufferSize = 1024;

QString numberText(const QByteArray& data) {
    QString text = QStringLiteral("&h");
    for (qsizetype i = data.size() - 1; i >= 0; --i) {
        text += QString::number(static_cast<unsigned char>(data[i]), 16).toUpper();
    }
    return text;
}

}  // namespace

bool GetKeyValue(const KeyValueStore& store, std::uint32_t rootKey, const QString& keyName,
                 const QString& valueName, QString& keyValue) {
    const std::optional<KeyValueStore::Value> value = store.read(rootKey, keyName, valueName);
    if (!value || value->data.size() > kBufferSize) {
        keyValue.clear();
        return false;
    }
    // The length counts a text's closing NUL; it is not part of the value.
    // Working on bytes, before decoding, keeps a multi-byte path whole.
    QByteArray data = value->data;
    if (!data.isEmpty() && data.back() == '\0') data.chop(1);

    switch (value->type) {
        case KeyValueStore::kString:
            keyValue = QFile::decodeName(data);
            break;
        case KeyValueStore::kNumber:
            // The callers only ever use the text as a path, so it is kept as
            // built, without turning it into a number first.
            keyValue = numberText(data);
            break;
        default:
            break;
    }
    return true;
}

}  // namespace dozo
