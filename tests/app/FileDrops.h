#pragma once

#include <QMimeData>
#include <QPoint>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

// Drags and drops as the desktop delivers them: to the top-level window, at a
// point over `target` (its centre unless given, in its own coordinates). Qt's
// window routes them as it routes the desktop's, to the widget under the point
// or the nearest ancestor that takes drops, so a control that does not take
// drops is tested for what really happens to a drop on it.
class FileDrops {
public:
    // text/uri-list of file URLs and text/plain of their paths, as a file
    // manager offers them.
    static std::unique_ptr<QMimeData> fileList(const QStringList& paths);
    static std::unique_ptr<QMimeData> plainText(const QString& text);

    // Drags over the point, then leaves; the effect the window answered, or
    // Qt::IgnoreAction when it refused (the no-drop cursor).
    static Qt::DropAction dragOver(QWidget* target, const QMimeData* data,
                                   std::optional<QPoint> at = std::nullopt);
    // Drags over the point, then drops when the drag was taken; true when the
    // drop was accepted.
    static bool drop(QWidget* target, const QMimeData* data,
                     std::optional<QPoint> at = std::nullopt);
};
