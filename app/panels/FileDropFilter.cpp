#include "app/panels/FileDropFilter.h"

#include "core/text/ShownName.h"

#include <QAbstractScrollArea>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
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

FileDropFilter::Dropped FileDropFilter::localFiles(const QMimeData* data) {
    Dropped files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        // A file manager sends the name's bytes percent-encoded; bytes that
        // are not UTF-8 stay encoded in the URL but decode to U+FFFD in
        // toLocalFile(), which names another file or none.
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (QFile::encodeName(QFile::decodeName(bytes)) != bytes) {
            if (files.paths.isEmpty() && files.unnamed.isEmpty()) files.unnamedFirst = true;
            files.unnamed.append(shownName(bytes));
            continue;
        }
        files.paths.append(url.toLocalFile());
    }
    return files;
}

bool FileDropFilter::takes(const QDropEvent* event) const {
    if (m_region && !m_region(event->position().toPoint())) return false;
    const Dropped files = localFiles(event->mimeData());
    return !files.paths.isEmpty() || !files.unnamed.isEmpty();
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
            if (!takes(drop)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            m_handler(localFiles(drop->mimeData()));
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

}  // namespace dozo
