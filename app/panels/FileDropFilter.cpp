#include "app/panels/FileDropFilter.h"

#include <QAbstractScrollArea>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace dozo {

FileDropFilter::FileDropFilter(QWidget* target, Handler handler, Region region)
    : QObject(target), m_handler(std::move(handler)), m_region(std::move(region)) {}

FileDropFilter* FileDropFilter::install(QWidget* target, Handler handler, Region region) {
    auto* filter = new FileDropFilter(target, std::move(handler), std::move(region));
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

bool FileDropFilter::takes(const QDropEvent* event) const {
    if (m_region && !m_region(event->position().toPoint())) return false;
    return !localPaths(event->mimeData()).isEmpty();
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (takes(drag)) {
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
            if (!takes(drop)) {
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
