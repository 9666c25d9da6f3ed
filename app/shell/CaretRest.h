#pragma once

#include <QObject>
#include <QTimer>

namespace dozo {

// Stops the text caret blinking once the user has given no input for a
// while, as the GTK desktops do for their own programs: a caret blinking in a
// field left focused wakes the program twice a second for as long as the
// window stays open. A key, a click or an input method's text brings the
// blinking back at once.
class CaretRest : public QObject {
    Q_OBJECT
public:
    static constexpr int kRestMs = 10000;

    // Watches the application's input until destroyed; then the caret blinks
    // as the desktop has it.
    explicit CaretRest(QObject* parent);
    ~CaretRest() override;

    bool resting() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rest();
    void wake();

    // The desktop's own flash time, given back on input.
    int m_flashTime;
    QTimer m_timer;
};

}  // namespace dozo
