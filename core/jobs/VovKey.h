#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace dozo {

// The key of a keyed run as the library takes it: code page 932 bytes, so
// that a file keyed on Windows decrypts here with the same typed key.
class VovKey {
public:
    // What the keyed library accepts at most.
    static constexpr int kMaxBytes = 255;

    // The key's bytes, or nullopt with `refusal` holding the message to show.
    // Checked before any file is touched: the library would refuse a key that
    // is too long only file by file.
    static std::optional<QByteArray> encode(const QString& key, QString* refusal);
    // Whether a key typed where it could not be seen was typed the same the
    // second time; else `refusal` holds the message to show. A typo in a key
    // nobody saw would leave every file keyed with a key nobody knows.
    static bool confirmed(const QString& key, const QString& again, QString* refusal);
};

}  // namespace dozo
