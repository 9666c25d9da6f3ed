#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QMimeData;
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

    // Installs itself on `target` (and its viewport when it has one); owned
    // by `target`.
    static FileDropFilter* install(QWidget* target, Handler handler);

    // The local file paths of a text/uri-list, in order; empty when there
    // are none.
    static QStringList localPaths(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FileDropFilter(QWidget* target, Handler handler);

    Handler m_handler;
};

}  // namespace dozo
