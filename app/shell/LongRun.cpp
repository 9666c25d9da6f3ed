#include "app/shell/LongRun.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
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
    // menus, which are windows of their own.
    for (auto* w = static_cast<QWidget*>(object); w; w = w->parentWidget()) {
        if (w == m_window) return true;
    }
    return false;
}

bool LongRun::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
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

void LongRun::runErased(const std::function<void(Progress&)>& work) {
    if (m_busy) throw std::logic_error("LongRun::run called during a run");

    m_busy = true;
    qApp->installEventFilter(this);
    // Clicks are thrown away for the whole run: the cursor says so.
    QApplication::setOverrideCursor(Qt::WaitCursor);
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
    m_busy = false;
    emit busyChanged(false);
    if (failure) std::rethrow_exception(failure);
}

}  // namespace dozo
