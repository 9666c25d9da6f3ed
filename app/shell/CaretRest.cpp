#include "app/shell/CaretRest.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

namespace dozo {

CaretRest::CaretRest(QObject* parent)
    : QObject(parent), m_flashTime(QGuiApplication::styleHints()->cursorFlashTime()) {
    setObjectName(QStringLiteral("CaretRest"));
    m_timer.setSingleShot(true);
    m_timer.setInterval(kRestMs);
    connect(&m_timer, &QTimer::timeout, this, &CaretRest::rest);
    QCoreApplication::instance()->installEventFilter(this);
    m_timer.start();
}

CaretRest::~CaretRest() {
    wake();
}

bool CaretRest::resting() const {
    return QGuiApplication::styleHints()->cursorFlashTime() == 0 && m_flashTime != 0;
}

void CaretRest::rest() {
    // A flash time of 0 shows the caret steadily; Qt's fields follow the
    // change at once.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
}

void CaretRest::wake() {
    if (resting()) QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
}

bool CaretRest::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::InputMethod:
            wake();
            m_timer.start();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace dozo
