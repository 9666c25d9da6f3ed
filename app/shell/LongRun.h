#pragma once

#include <QAbstractButton>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

namespace dozo {

// How a long run can be cancelled: `request` runs on the window's thread, at
// most once a run; `button` (optional) is shown while the run lasts. (Outside
// LongRun so that it can be a default argument of its members.)
struct LongRunCancel {
    std::function<void()> request;
    QAbstractButton* button = nullptr;
};

// Runs one long library call (or a batch of them) off the window's thread
// while the window keeps repainting. For the whole run the window takes no
// input: mouse, keyboard (an input method's text too), wheel and drop events
// meant for it (its popup menus included, not a window it only owns, such as
// the Read Me viewer) are thrown away
// (not postponed: a click made during a run must not fire afterwards) and
// close requests are refused, and the cursor is the wait cursor. The window's
// enablement timer is stopped for
// the run through busyChanged(). A run that can be cancelled makes the one
// exception: Escape, or a click on its cancel button (shown for the run
// only), asks the work to stop; the work decides where it can.
class LongRun : public QObject {
    Q_OBJECT
public:
    // Hands work on the worker thread a way back to the window's thread.
    class Progress {
    public:
        explicit Progress(LongRun& run) : m_run(&run) {}
        // Runs `onGuiThread` on the window's thread, in posting order and
        // before run() returns.
        void post(std::function<void()> onGuiThread) const;

    private:
        LongRun* m_run;
    };

    using Cancel = LongRunCancel;

    explicit LongRun(QWidget* window);
    ~LongRun() override;

    bool busy() const { return m_busy; }

    // Runs `work(progress)` on a worker thread and returns its result once it
    // has finished; an exception thrown by the work is rethrown here. Runs do
    // not nest: the window takes no command while one is under way.
    template <typename Work>
    auto run(Work&& work, Cancel cancel = {}) -> std::invoke_result_t<Work&, Progress&> {
        using Result = std::invoke_result_t<Work&, Progress&>;
        if constexpr (std::is_void_v<Result>) {
            runErased([&](Progress& progress) { work(progress); }, std::move(cancel));
        } else {
            std::optional<Result> result;
            runErased([&](Progress& progress) { result.emplace(work(progress)); },
                      std::move(cancel));
            return std::move(*result);
        }
    }

    void runErased(const std::function<void(Progress&)>& work, Cancel cancel = {});

signals:
    void busyChanged(bool busy);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongsToWindow(QObject* object) const;
    bool onCancelButton(QObject* object) const;
    void requestCancel();

    QPointer<QWidget> m_window;
    bool m_busy = false;
    Cancel m_cancel;
    bool m_cancelRequested = false;
};

}  // namespace dozo
