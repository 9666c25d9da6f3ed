#include "app/window/WindowDrop.h"

#include "app/panels/FileDropFilter.h"
#include "app/panels/PackagePanel.h"
#include "app/window/frmMain.h"

namespace dozo {

WindowDrop::WindowDrop(frmMain& window) : QObject(&window), m_window(window) {
    setObjectName(QStringLiteral("WindowDrop"));
    // Children that do not take drops leave them to the nearest ancestor that
    // does, which is the window. Only the window's own surface takes them: a
    // drop that misses a list by a few pixels and lands on a button, label,
    // frame, the tab control or a text box must not replace the target.
    FileDropFilter::install(
        &window, [this](const FileDropFilter::Dropped& files) { dropped(files); },
        [&window](const QPoint& at) {
            QWidget* under = window.childAt(at);
            return under == nullptr || under == window.centralWidget();
        });
}

void WindowDrop::dropped(const FileDropFilter::Dropped& files) {
    // The same as a drop on the target field.
    m_window.packagePanel()->takeDrop(files);
}

}  // namespace dozo
