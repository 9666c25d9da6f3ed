#include "app/panels/PanelControls.h"

#include "core/startup/AppInfo.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <limits>
#include <memory>

namespace dozo::panel_controls {

QLabel* buddyLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = named(new QLabel(caption, parent), name);
    label->setBuddy(buddy);
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
    return toggle;
}

QFrame* etchedLine(const char* name, bool shadow, QWidget* parent) {
    auto* line = named(new QFrame(parent), name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    line->setFixedHeight(1);
    line->setForegroundRole(shadow ? QPalette::Dark : QPalette::Light);
    return line;
}

QProgressBar* progressBar(const char* name, QWidget* parent) {
    auto* bar = named(new QProgressBar(parent), name);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(14);
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
