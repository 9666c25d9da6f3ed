#pragma once

#include "app/panels/FileDropFilter.h"

#include <QObject>
#include <QStringList>

namespace dozo {

class frmMain;

// Files dropped on the window's own surface, outside every control: the first
// path becomes the package panel's target.
// Drags offer copy only for a list of local files.
class WindowDrop : public QObject {
    Q_OBJECT
public:
    // Makes the window a drop target; owned by the window.
    explicit WindowDrop(frmMain& window);

    // The visible tab stays as it is; the new target shows on tab 0.
    void dropped(const FileDropFilter::Dropped& files);

private:
    frmMain& m_window;
};

}  // namespace dozo
