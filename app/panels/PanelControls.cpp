#include "app/panels/PanelControls.h"

#include <QAction>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace dozo::panel_controls {

QLabel* buddyLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = named(new QLabel(caption, parent), name);
    label->setBuddy(buddy);
    return label;
}

namespace {

// An eye, struck through when `struck`, in the field's text colour. Drawn
// rather than taken from the icon theme: a desktop without the theme's
// icons (or a window drawn offscreen) would otherwise show an empty button.
QIcon eyeIcon(const QColor& colour, bool struck) {
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        painter.setPen(QPen(colour, 1.3));
        QPainterPath lids;
        lids.moveTo(1.5, 8);
        lids.quadTo(8, 1, 14.5, 8);
        lids.quadTo(8, 15, 1.5, 8);
        painter.drawPath(lids);
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(8, 8), 2.2, 2.2);
        if (struck) painter.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 2.5));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QAction* maskSecret(QLineEdit* field, const char* toggleName) {
    field->setEchoMode(QLineEdit::Password);
    const QColor colour = field->palette().color(QPalette::Text);
    const QIcon show = eyeIcon(colour, false);
    const QIcon hide = eyeIcon(colour, true);
    auto* toggle = new QAction(show, QStringLiteral("表示する"), field);
    toggle->setObjectName(QLatin1String(toggleName));
    toggle->setCheckable(true);
    toggle->setToolTip(QStringLiteral("入力した文字を表示します"));
    QObject::connect(toggle, &QAction::toggled, field, [field, toggle, show, hide](bool shown) {
        field->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        toggle->setIcon(shown ? hide : show);
        toggle->setText(shown ? QStringLiteral("隠す") : QStringLiteral("表示する"));
        toggle->setToolTip(shown ? QStringLiteral("入力した文字を隠します")
                                 : QStringLiteral("入力した文字を表示します"));
    });
    field->addAction(toggle, QLineEdit::TrailingPosition);
    return toggle;
}

QFrame* etchedLine(const char* name, bool shadow, QWidget* parent) {
    auto* line = named(new QFrame(parent), name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    line->setFixedHeight(1);
    line->setForegroundRole(shadow ? QPalette::Dark : QPalette::Light);
    return line;
}

}  // namespace dozo::panel_controls
