#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace dozo {

// Where the About box looks up the system information program: a tree of
// keys holding typed values, read-only. The Linux back end answers from the
// programs on PATH; tests answer from a table.
class KeyValueStore {
public:
    // Root keys are handle values, as callers pass them.
    static constexpr std::uint32_t kLocalMachine = 0x80000002u;

    // Value types as stored: a text, a text with variables to expand, and a
    // 32-bit number (four bytes, least significant first).
    static constexpr std::uint32_t kString = 1;
    static constexpr std::uint32_t kExpandString = 2;
    static constexpr std::uint32_t kNumber = 4;

    struct Value {
        std::uint32_t type = 0;
        QByteArray data;  // raw bytes; a text includes its closing NUL
    };

    virtual ~KeyValueStore() = default;

    // nullopt when the key or the value does not exist.
    virtual std::optional<Value> read(std::uint32_t root, const QString& key,
                                      const QString& valueName) const = 0;
};

}  // namespace dozo
