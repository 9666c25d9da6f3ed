#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace dozo {

// CRC-16/ARC (polynomial 0xA001 reflected, initial 0), the checksum LHA
// headers carry for an entry's data. `crc` continues an earlier part.
quint16 crc16Arc(QByteArrayView data, quint16 crc = 0);

// The whole file's CRC-16/ARC and size, or nullopt when it cannot be read.
struct FileCheck {
    qint64 size = 0;
    quint16 crc = 0;
};
std::optional<FileCheck> crc16ArcOfFile(const QString& path);

}  // namespace dozo
