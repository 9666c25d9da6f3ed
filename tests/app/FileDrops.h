#pragma once

#include <QMimeData>
#include <QStringList>
#include <memory>

class QWidget;

// Drags and drops as the desktop delivers them: text/uri-list of file URLs.
class FileDrops {
public:
    static std::unique_ptr<QMimeData> fileList(const QStringList& paths);
    static std::unique_ptr<QMimeData> plainText(const QString& text);

    // Sends a drag-enter, then a drag-move, to `target`; the effect the
    // target answered, or Qt::IgnoreAction when it refused.
    static Qt::DropAction dragOver(QWidget* target, const QMimeData* data);
    // Drags over `target`, then drops when the target took the drag; true
    // when the drop was accepted.
    static bool drop(QWidget* target, const QMimeData* data);
};
