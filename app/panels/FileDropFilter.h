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
    // The local files of a drop. A name that is not UTF-8 has no QString
    // that would open it (the nearest one names another file, or none): it
    // is only shown, escaped.
    struct Dropped {
        QStringList paths;          // in the order the drop lists them
        QStringList unnamed;        // names that are not UTF-8, escaped
        bool unnamedFirst = false;  // the drop's first file is one of those
    };
    using Handler = std::function<void(const Dropped& files)>;
    // Whether a drag at this point of the target may drop there.
    using Region = std::function<bool(const QPoint& at)>;

    // Installs itself on `target` (and its viewport when it has one); owned
    // by `target`. With a region, drags elsewhere on the target are refused.
    static FileDropFilter* install(QWidget* target, Handler handler, Region region = {});

    // The local files of a text/uri-list; empty when there are none.
    static Dropped localFiles(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FileDropFilter(QWidget* target, Handler handler, Region region);
    bool takes(const QDropEvent* event) const;

    Handler m_handler;
    Region m_region;
};

}  // namespace dozo
