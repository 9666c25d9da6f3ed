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

// Applies the enablement rules to the window whenever something they read
// changes: the target and password fields, the contents of the three lists,
// the end of a long run and start-up's findings (changed()). Each change
// starts the window's single-shot timer Tmr, so a burst of changes (typing,
// a drop of many files) costs one evaluation, at most one interval after the
// change; an idle window has nothing ticking. Nothing else in the
// application changes these eight enabled states (the menu's hold during a
// long run gives its two back as they were).
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

    // Watches what the rules read and runs on the window's timer; owned by
    // `parent`, the window.
    EnablementTick(const Window& window, QObject* parent);

    // Something the rules read has changed: one tick follows on the timer.
    // Ignored while a long run holds the window; its end is a change of its
    // own.
    void changed();

    // One tick now; does nothing while a long run holds the window, so the
    // states stay as they were when the run started.
    void tick();

    EnablementInputs read() const;
    void apply(const EnabledStates& states);

private:
    Window m_window;
};

}  // namespace dozo
