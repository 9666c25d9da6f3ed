#include "core/text/Crc16.h"

#include <QFile>
#include <array>

namespace dozo {

namespace {

constexpr std::array<quint16, 256> makeTable() {
    std::array<quint16, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        table[n] = static_cast<quint16>(c);
    }
    return table;
}

constexpr std::array<quint16, 256> kTable = makeTable();

}  // namespace

quint16 crc16Arc(QByteArrayView data, quint16 crc) {
    for (const char byte : data) {
        crc = static_cast<quint16>(kTable[(crc ^ static_cast<quint8>(byte)) & 0xFF] ^ (crc >> 8));
    }
    return crc;
}

std::optional<FileCheck> crc16ArcOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    FileCheck check;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        check.crc = crc16Arc(QByteArrayView(block.constData(), got), check.crc);
        check.size += got;
    }
    return check;
}

}  // namespace dozo
