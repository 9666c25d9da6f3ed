#pragma once

#include "Enablement.h"

#include <QObject>

namespace dozo {

class frmMain;

// Applies the enablement rules to the window on every expiry of its timer
// Tmr. Nothing else in the application changes these eight enabled states.
class EnablementTick : public QObject {
    Q_OBJECT
public:
    // Connects to the window's timer; owned by the window.
    explicit EnablementTick(frmMain& window);

    // One tick; does nothing while a long run holds the window, so the
    // states stay as they were when the run started.
    void tick();

    EnablementInputs read() const;
    void apply(const EnabledStates& states);

private:
    frmMain& m_window;
};

}  // namespace dozo
