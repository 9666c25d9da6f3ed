#include "app/dialogs/TextWindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace dozo {

namespace {

// The designed size, and what a window frame adds at most around it.
constexpr QSize kSize(660, 480);
constexpr QMargins kFrame(8, 32, 8, 8);

// Closes with Escape and Ctrl+W (the desktop's Close), as a viewer of text
// does, and gives the focus back to the window that opened it.
class TextWindow : public QPlainTextEdit {
public:
    explicit TextWindow(QWidget* parent) : QPlainTextEdit(parent) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) ||
            event->matches(QKeySequence::Close)) {
            close();
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent* event) override {
        QPlainTextEdit::closeEvent(event);
        if (QWidget* owner = parentWidget()) {
            owner->window()->raise();
            owner->window()->activateWindow();
        }
    }
};

// Centred on the window that opens it, and wholly on that window's screen,
// frame included: a small screen gets a smaller window rather than one that
// runs off its edge.
void place(QWidget* window, const QWidget* owner) {
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry().marginsRemoved(kFrame);
    const QSize size = kSize.boundedTo(available.size());
    QRect rect(QPoint(), size);
    rect.moveCenter(owner ? owner->window()->frameGeometry().center() : available.center());
    rect.moveLeft(qBound(available.left(), rect.left(), available.right() - size.width() + 1));
    rect.moveTop(qBound(available.top(), rect.top(), available.bottom() - size.height() + 1));
    window->setGeometry(rect);
}

}  // namespace

QPlainTextEdit* showTextWindow(QPointer<QPlainTextEdit>& slot, QWidget* parent,
                               const QString& objectName, const QString& title,
                               const QString& text) {
    if (!slot) {
        slot = new TextWindow(parent);
        slot->setObjectName(objectName);
        slot->setWindowFlag(Qt::Window);
        slot->setAttribute(Qt::WA_DeleteOnClose);
        slot->setReadOnly(true);
        // The texts are laid out in columns for a terminal.
        slot->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        place(slot, parent);
    }
    slot->setWindowTitle(title);
    slot->setPlainText(text);
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

}  // namespace dozo
