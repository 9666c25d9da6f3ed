#include "FileDrops.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QUrl>
#include <QWidget>

std::unique_ptr<QMimeData> FileDrops::fileList(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

std::unique_ptr<QMimeData> FileDrops::plainText(const QString& text) {
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

namespace {

// Enter and move, as a drag arrives over `target`. An accepted enter makes
// `target` the drag's current target, which receives the later move, drop or
// leave wherever they are sent; a drop or a leave clears it again, so every
// drag here ends with one of the two and no target outlives its window.
Qt::DropAction enterAndMove(QWidget* target, const QMimeData* data) {
    const QPoint at = target->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, offered, data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return Qt::IgnoreAction;
    QDragMoveEvent move(at, offered, data, Qt::LeftButton, Qt::NoModifier);
    move.setAccepted(false);
    QApplication::sendEvent(target, &move);
    return move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
}

void leave(QWidget* target) {
    QDragLeaveEvent event;
    QApplication::sendEvent(target, &event);
}

}  // namespace

Qt::DropAction FileDrops::dragOver(QWidget* target, const QMimeData* data) {
    const Qt::DropAction effect = enterAndMove(target, data);
    leave(target);
    return effect;
}

bool FileDrops::drop(QWidget* target, const QMimeData* data) {
    // A drag refused at its enter is never dropped, as on the desktop.
    if (enterAndMove(target, data) == Qt::IgnoreAction) {
        leave(target);
        return false;
    }
    QDropEvent event(QPointF(target->rect().center()), Qt::CopyAction | Qt::MoveAction, data,
                     Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}
