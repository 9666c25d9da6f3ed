#include "app/shell/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QRegularExpression>

namespace dozo {

namespace {

QAccessibleInterface* separatorInterface(const QString& className, QObject* object) {
    if (className != QLatin1String("dozo::EtchedLine") || !object || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Separator);
}

}  // namespace

EtchedLine::EtchedLine(QWidget* parent) : QFrame(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(separatorInterface);
        return true;
    }();
    Q_UNUSED(installed);
    setFrameShape(QFrame::HLine);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setFixedHeight(1);
}

QString spokenCaption(const QString& caption) {
    static const QRegularExpression accessKey(QStringLiteral("\\(&.\\)"));
    QString spoken = caption;
    spoken.remove(accessKey);
    spoken.remove(QLatin1Char('&'));
    while (spoken.endsWith(QChar(u'：')) || spoken.endsWith(QLatin1Char(':'))) spoken.chop(1);
    return spoken.trimmed();
}

}  // namespace dozo
