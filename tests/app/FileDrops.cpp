#include "FileDrops.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QUrl>
#include <QWidget>
#include <QWindow>

std::unique_ptr<QMimeData> FileDrops::fileList(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}

std::unique_ptr<QMimeData> FileDrops::plainText(const QString& text) {
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

namespace {

struct Place {
    QWindow* window = nullptr;
    QPoint at;  // in the window's coordinates
};

Place placeOf(QWidget* target, std::optional<QPoint> at) {
    QWidget* top = target->window();
    if (!top->windowHandle()) top->winId();
    return {top->windowHandle(), target->mapTo(top, at.value_or(target->rect().center()))};
}

constexpr Qt::DropActions kOffered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// Enter and move, as a drag arrives over the point. The window remembers the
// widget that took the enter until a drop or a leave, so every drag here ends
// with one of the two.
Qt::DropAction enterAndMove(const Place& place, const QMimeData* data) {
    QDragEnterEvent enter(place.at, kOffered, data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(place.window, &enter);
    if (!enter.isAccepted()) return Qt::IgnoreAction;
    QDragMoveEvent move(place.at, kOffered, data, Qt::LeftButton, Qt::NoModifier);
    move.setAccepted(false);
    QApplication::sendEvent(place.window, &move);
    return move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
}

void leave(const Place& place) {
    QDragLeaveEvent event;
    QApplication::sendEvent(place.window, &event);
}

}  // namespace

Qt::DropAction FileDrops::dragOver(QWidget* target, const QMimeData* data,
                                   std::optional<QPoint> at) {
    const Place place = placeOf(target, at);
    if (!place.window) return Qt::IgnoreAction;
    const Qt::DropAction effect = enterAndMove(place, data);
    leave(place);
    return effect;
}

bool FileDrops::drop(QWidget* target, const QMimeData* data, std::optional<QPoint> at) {
    const Place place = placeOf(target, at);
    if (!place.window) return false;
    // A drag refused where it is is never dropped, as on the desktop.
    if (enterAndMove(place, data) == Qt::IgnoreAction) {
        leave(place);
        return false;
    }
    QDropEvent event(QPointF(place.at), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                     Qt::NoModifier);
    event.setAccepted(false);
    QApplication::sendEvent(place.window, &event);
    return event.isAccepted();
}
