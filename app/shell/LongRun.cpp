#include "app/shell/LongRun.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QThread>
#include <memory>
#include <stdexcept>

namespace dozo {

void LongRun::Progress::post(std::function<void()> onGuiThread) const {
    // Every post and the final "finished" go to the same receiver, so Qt
    // delivers them in the order they were made.
    QMetaObject::invokeMethod(m_run, std::move(onGuiThread), Qt::QueuedConnection);
}

LongRun::LongRun(QWidget* window) : QObject(window), m_window(window) {}

LongRun::~LongRun() {
    if (m_busy && qApp) qApp->removeEventFilter(this);
}

bool LongRun::belongsToWindow(QObject* object) const {
    if (!m_window || !object->isWidgetType()) return false;
    // Walking parents rather than window() also covers the window's popup
    // menus, which are windows of their own. A window the main window only
    // owns (the Read Me viewer) is the user's to read and scroll meanwhile.
    for (auto* w = static_cast<QWidget*>(object); w; w = w->parentWidget()) {
        if (w == m_window) return true;
        if (w->isWindow() && w->windowType() != Qt::Popup) return false;
    }
    return false;
}

bool LongRun::onCancelButton(QObject* object) const {
    if (!m_cancel.button || !object->isWidgetType()) return false;
    for (auto* w = static_cast<QWidget*>(object); w; w = w->parentWidget()) {
        if (w == m_cancel.button) return true;
    }
    return false;
}

void LongRun::requestCancel() {
    if (m_cancelRequested || !m_cancel.request) return;
    m_cancelRequested = true;
    // Said at once, though the file under way still has to finish.
    if (m_cancel.button) m_cancel.button->setEnabled(false);
    m_cancel.request();
}

bool LongRun::eventFilter(QObject* watched, QEvent* event) {
    if (m_cancel.request && belongsToWindow(watched)) {
        const QEvent::Type type = event->type();
        if ((type == QEvent::KeyPress || type == QEvent::ShortcutOverride) &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (type == QEvent::KeyPress) requestCancel();
            event->accept();
            return true;
        }
        // The cancel button is the one control that takes the mouse.
        if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) &&
            onCancelButton(watched))
            return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        // An input method's text never comes as key presses: without this a
        // field with the focus would still take what the user types.
        case QEvent::InputMethod:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            if (belongsToWindow(watched)) {
                event->ignore();
                return true;
            }
            break;
        case QEvent::Close:
            if (watched == m_window) {
                event->ignore();
                return true;
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void LongRun::runErased(const std::function<void(Progress&)>& work, Cancel cancel) {
    if (m_busy) throw std::logic_error("LongRun::run called during a run");

    m_busy = true;
    m_cancel = std::move(cancel);
    m_cancelRequested = false;
    QMetaObject::Connection clicked;
    if (m_cancel.button) {
        clicked =
            connect(m_cancel.button, &QAbstractButton::clicked, this, &LongRun::requestCancel);
        m_cancel.button->setEnabled(true);
        m_cancel.button->show();
    }
    qApp->installEventFilter(this);
    // Clicks are thrown away for the whole run: the cursor says so, and says
    // whether the cancel button still takes one.
    QApplication::setOverrideCursor(m_cancel.request ? Qt::BusyCursor : Qt::WaitCursor);
    emit busyChanged(true);

    QEventLoop loop;
    bool finished = false;
    std::exception_ptr failure;
    Progress progress(*this);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this,
            [&] {
                finished = true;
                loop.quit();
            },
            Qt::QueuedConnection);
    }));
    worker->start();
    while (!finished) loop.exec();
    worker->wait();

    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    if (m_cancel.button) {
        disconnect(clicked);
        m_cancel.button->hide();
    }
    m_cancel = {};
    m_busy = false;
    emit busyChanged(false);
    if (failure) std::rethrow_exception(failure);
}

}  // namespace dozo
