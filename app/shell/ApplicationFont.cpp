#include "app/shell/ApplicationFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace dozo {

void ApplicationFont::apply() {
    const QStringList families = QFontDatabase::families();
    for (const QString& wanted : {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック")}) {
        if (families.contains(wanted)) {
            QFont font(wanted);
            font.setPointSize(9);
            QApplication::setFont(font);
            return;
        }
    }
}

}  // namespace dozo
