#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QDropEvent;
class QMimeData;
class QPoint;
class QWidget;

namespace dozo {

// Takes drops of files on one control and hands their local paths, in the
// order the drop lists them, to the control's handler. Anything else dragged
// over the control is refused, so a line edit never inserts the text of a
// dropped URL itself. A list view receives its drops through its viewport,
// so the filter watches both.
class FileDropFilter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QStringList& paths)>;
    // Whether a drag at this point of the target may drop there.
    using Region = std::function<bool(const QPoint& at)>;

    // Installs itself on `target` (and its viewport when it has one); owned
    // by `target`. With a region, drags elsewhere on the target are refused.
    static FileDropFilter* install(QWidget* target, Handler handler, Region region = {});

    // The local file paths of a text/uri-list, in order; empty when there
    // are none.
    static QStringList localPaths(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FileDropFilter(QWidget* target, Handler handler, Region region);
    bool takes(const QDropEvent* event) const;

    Handler m_handler;
    Region m_region;
};

}  // namespace dozo
