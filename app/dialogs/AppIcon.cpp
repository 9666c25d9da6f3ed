#include "app/dialogs/AppIcon.h"

namespace dozo {

QIcon AppIcon::icon() {
    QIcon icon;
    for (int size : {32, 48, 256}) {
        icon.addFile(QStringLiteral(":/dozo/icons/dozo-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QPixmap AppIcon::small() {
    return QPixmap(QStringLiteral(":/dozo/icons/dozo-32.png"));
}

}  // namespace dozo
