#include "FileDropFilter.h"

#include <QAbstractScrollArea>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace dozo {

FileDropFilter::FileDropFilter(QWidget* target, Handler handler)
    : QObject(target), m_handler(std::move(handler)) {}

FileDropFilter* FileDropFilter::install(QWidget* target, Handler handler) {
    auto* filter = new FileDropFilter(target, std::move(handler));
    target->setAcceptDrops(true);
    target->installEventFilter(filter);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) {
        area->viewport()->setAcceptDrops(true);
        area->viewport()->installEventFilter(filter);
    }
    return filter;
}

QStringList FileDropFilter::localPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.append(url.toLocalFile());
    }
    return paths;
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!localPaths(drag->mimeData()).isEmpty()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = localPaths(drop->mimeData());
            if (paths.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            m_handler(paths);
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

}  // namespace dozo
