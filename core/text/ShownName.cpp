#include "core/text/ShownName.h"

#include <QFile>

#include <string_view>

#include "dozo/fileio/printable.h"

namespace dozo {

QString shownName(const QByteArray& name) {
    return QString::fromStdString(fileio::printable(
        std::string_view(name.constData(), static_cast<std::size_t>(name.size()))));
}

QString shownName(const QString& name) {
    return shownName(QFile::encodeName(name));
}

}  // namespace dozo
