#include "app/panels/PanelControls.h"

#include "app/shell/Accessibility.h"
#include "core/startup/AppInfo.h"
#include "core/text/ShownName.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>
#include <limits>
#include <memory>

namespace dozo::panel_controls {

QLabel* buddyLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = named(new QLabel(caption, parent), name);
    label->setBuddy(buddy);
    // A screen reader names the field after its label; Qt does that only for
    // some kinds of control (a list gets no name from its label at all).
    buddy->setAccessibleName(spokenCaption(caption));
    return label;
}

namespace {

// An eye, struck through when `struck`, in the field's text colour. Drawn
// rather than taken from the icon theme: a desktop without the theme's
// icons (or a window drawn offscreen) would otherwise show an empty button.
QIcon eyeIcon(const QColor& colour, bool struck) {
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        painter.setPen(QPen(colour, 1.3));
        QPainterPath lids;
        lids.moveTo(1.5, 8);
        lids.quadTo(8, 1, 14.5, 8);
        lids.quadTo(8, 15, 1.5, 8);
        painter.drawPath(lids);
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(8, 8), 2.2, 2.2);
        if (struck) painter.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 2.5));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The toggle Qt puts inside a field draws its icon and nothing else: without
// this a keyboard user could not see that it has the focus.
class FocusFrame : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* button = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && button->hasFocus()) {
            QStylePainter painter(button);
            QStyleOptionFocusRect option;
            option.initFrom(button);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
        }
        return false;
    }
};

// Puts the toggle right after its field in the tab order once the field is
// first shown: by then the panel has set its own order, which would
// otherwise have put the field's next control between the two.
class AfterField : public QObject {
public:
    AfterField(QLineEdit* field, QWidget* toggle) : QObject(field), m_toggle(toggle) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            QWidget::setTabOrder(static_cast<QWidget*>(watched), m_toggle);
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    QWidget* m_toggle;
};

}  // namespace

QAction* maskSecret(QLineEdit* field, const char* toggleName) {
    field->setEchoMode(QLineEdit::Password);
    const QColor colour = field->palette().color(QPalette::Text);
    const QIcon show = eyeIcon(colour, false);
    const QIcon hide = eyeIcon(colour, true);
    auto* toggle = new QAction(show, QStringLiteral("表示する"), field);
    toggle->setObjectName(QLatin1String(toggleName));
    toggle->setCheckable(true);
    toggle->setToolTip(QStringLiteral("入力した文字を表示します"));
    QObject::connect(toggle, &QAction::toggled, field, [field, toggle, show, hide](bool shown) {
        field->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        toggle->setIcon(shown ? hide : show);
        toggle->setText(shown ? QStringLiteral("隠す") : QStringLiteral("表示する"));
        toggle->setToolTip(shown ? QStringLiteral("入力した文字を隠します")
                                 : QStringLiteral("入力した文字を表示します"));
    });
    field->addAction(toggle, QLineEdit::TrailingPosition);
    // Qt leaves the toggle to the mouse; it belongs in the tab order right
    // after its field, and a screen reader announces it as a toggle with its
    // state (the button follows the checkable action).
    for (QToolButton* button : field->findChildren<QToolButton*>()) {
        if (button->defaultAction() != toggle) continue;
        button->setFocusPolicy(Qt::TabFocus);
        button->setAccessibleName(QStringLiteral("入力した文字を表示"));
        button->installEventFilter(new FocusFrame(button));
        field->installEventFilter(new AfterField(field, button));
    }
    return toggle;
}

QFrame* etchedLine(const char* name, bool shadow, QWidget* parent) {
    auto* line = named(new EtchedLine(parent), name);
    line->setForegroundRole(shadow ? QPalette::Dark : QPalette::Light);
    return line;
}

QProgressBar* progressBar(const char* name, QWidget* parent) {
    auto* bar = named(new QProgressBar(parent), name);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(14);
    // Without a text of its own the bar would be announced by its value only.
    bar->setAccessibleName(QStringLiteral("進行状況"));
    return bar;
}

QPushButton* cancelButton(const char* name, QWidget* parent, bool insideAFile) {
    auto* button = named(new QPushButton(QStringLiteral("中止"), parent), name);
    button->setToolTip(insideAFile
                           ? QStringLiteral("すぐに中止します (Esc)。書きかけのファイルは残さず、"
                                            "書庫は元のまま、展開し終えたファイルはそのままです。")
                           : QStringLiteral("処理中のファイルを終えたところで中止します (Esc)。"
                                            "終えたファイルは処理済み、残りは元のままです。"));
    button->setFocusPolicy(Qt::NoFocus);
    button->hide();
    return button;
}

QHBoxLayout* progressRow(QProgressBar* bar, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(bar, 1);
    if (cancel) row->addWidget(cancel);
    return row;
}

bool mayAddTo(UiServices& ui, const QString& archive) {
    if (!QFileInfo(archive).isFile()) return true;
    return ui.messageBox(QStringLiteral("【") + archive +
                             QStringLiteral("】は既にあります。\r\nこの書庫に追加しますか？"
                                            "（書庫の中のほかのファイルはそのまま残ります）"),
                         QString::fromLatin1(kAppTitle), UiServices::Buttons::YesNo,
                         UiServices::Icon::Question) == UiServices::Answer::Yes;
}

void showWritten(UiServices& ui, const QString& done, const QString& written, const QString& note) {
    const QFileInfo info(written);
    // Named only when it is there: an empty archive unpacks into no folder.
    if (!info.exists()) {
        ui.messageBox(done, QString::fromLatin1(kAppTitle), UiServices::Buttons::Ok,
                      UiServices::Icon::Information);
        return;
    }
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    const QString details =
        (info.isDir() ? QStringLiteral("展開先：") : QStringLiteral("作成したファイル：")) +
        shownName(info.fileName()) + QStringLiteral("\r\n場所：") + shownName(info.absolutePath()) +
        (note.isEmpty() ? QString() : QStringLiteral("\r\n") + note);
    const UiServices::Answer answer =
        ui.detailedMessageBox(done, details, QString::fromLatin1(kAppTitle),
                              UiServices::Buttons::OkOpenFolder, UiServices::Icon::Information);
    if (answer != UiServices::Answer::OpenFolder || ui.openDocument(folder)) return;
    ui.messageBox(
        QStringLiteral("フォルダーを開くプログラムが見つかりません。\r\n") + shownName(folder),
        QString::fromLatin1(kAppTitle), UiServices::Buttons::Ok, UiServices::Icon::Error);
}

JobControl::Report barReport(QProgressBar* bar, const LongRun::Progress& progress) {
    // Bytes of a large archive do not fit the bar's int: they are shown in
    // steps of a fixed count instead.
    constexpr qint64 kLargest = std::numeric_limits<int>::max() / 2;
    constexpr qint64 kScaled = 10000;
    auto shown = std::make_shared<std::pair<qint64, qint64>>(-1, -1);
    const QPointer<QProgressBar> guarded = bar;
    return [guarded, &progress, shown](qint64 done, qint64 total) {
        const bool scaled = total > kLargest;
        const qint64 maximum = scaled ? kScaled : total;
        const qint64 value = scaled ? done * kScaled / total : done;
        if (std::pair(value, maximum) == *shown) return;
        *shown = {value, maximum};
        progress.post([guarded, value, maximum] {
            if (!guarded) return;
            // An empty total would turn the bar into a busy indicator.
            if (maximum > 0) guarded->setMaximum(static_cast<int>(maximum));
            guarded->setValue(static_cast<int>(value));
        });
    };
}

}  // namespace dozo::panel_controls
