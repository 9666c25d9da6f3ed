#pragma once

#include "app/timer/Enablement.h"

#include <QObject>

class QTimer;

namespace dozo {

class ArchivePanel;
class KeyedPanel;
class LongRun;
class MainMenu;
class PackagePanel;
class TransformPanel;
struct WindowState;

// Applies the enablement rules to the window on every expiry of its timer
// Tmr. Nothing else in the application changes these eight enabled states
// (the menu's hold during a long run gives its two back as they were).
class EnablementTick : public QObject {
    Q_OBJECT
public:
    // What the tick reads and writes; all of it belongs to the window and
    // outlives the tick.
    struct Window {
        QTimer* timer;
        LongRun& longRun;
        const WindowState& state;
        MainMenu& menu;
        PackagePanel* package;
        ArchivePanel* archive;
        TransformPanel* transform;
        KeyedPanel* keyed;
    };

    // Connects to the window's timer; owned by `parent`, the window.
    EnablementTick(const Window& window, QObject* parent);

    // One tick; does nothing while a long run holds the window, so the
    // states stay as they were when the run started.
    void tick();

    EnablementInputs read() const;
    void apply(const EnabledStates& states);

private:
    Window m_window;
};

}  // namespace dozo
