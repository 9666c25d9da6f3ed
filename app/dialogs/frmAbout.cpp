#include "app/dialogs/frmAbout.h"

#include "app/dialogs/AppIcon.h"
#include "app/dialogs/SysInfo.h"
#include "app/dialogs/TextWindow.h"
#include "app/shell/Accessibility.h"
#include "core/startup/AppInfo.h"

#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLayout>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace dozo {

namespace {

// The client area the box was designed for: 382 x 237 pixels at 96 dpi.
constexpr int kClientWidth = 382;
constexpr int kClientHeight = 237;
// The shadow sits 4 pixels right of and below the title.
constexpr int kShadowOffset = 4;

QFont serifFont(qreal pointSize, bool bold) {
    QFont font;
    // Whichever of these is installed; every Linux desktop has at least one.
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// WCAG's relative luminance and contrast ratio: 1 (none) to 21.
double luminance(const QColor& colour) {
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QFrame* lineOf(QWidget* parent, const char* name, const QColor& colour) {
    auto* line = new EtchedLine(parent);
    line->setObjectName(QLatin1String(name));
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    return line;
}

}  // namespace

frmAbout::frmAbout(UiServices* ui) : QDialog(nullptr), m_qtUi(this), m_ui(ui ? ui : &m_qtUi) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    // Fixed dialog frame: a close button, no minimize or maximize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setWindowIcon(AppIcon::icon());
    createControls();
    Form_Load();
    fixGeometry();
}

QString frmAbout::versionText(int major, int minor) {
    return QStringLiteral("Version %1.%2").arg(major).arg(minor, 2, 10, QLatin1Char('0'));
}

void frmAbout::createControls() {
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setFixedSize(32, 32);
    picIcon->setPixmap(AppIcon::small());

    // Both title labels overlap inside one box; the shadow is made first so
    // the title is drawn over it.
    auto* titleBox = new QWidget(this);
    titleBox->setObjectName(QStringLiteral("titleBox"));
    lblTitle[1] = new QLabel(titleBox);
    lblTitle[0] = new QLabel(titleBox);
    for (int i = 0; i < 2; ++i) {
        lblTitle[i]->setObjectName(QStringLiteral("lblTitle_%1").arg(i));
        lblTitle[i]->setFont(serifFont(20.25, true));
        lblTitle[i]->setAutoFillBackground(false);
    }
    colourTitle();

    lblVersion = new QLabel(QStringLiteral("Version"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setFont(serifFont(18, false));
    lblDescription = new QLabel(QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝの説明"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));

    Line1[0] = lineOf(this, "Line1_0", QColor(128, 128, 128));
    Line1[1] = lineOf(this, "Line1_1", Qt::white);

    lblDisclaimer = new QLabel(this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDisclaimer->setMinimumSize(258, 69);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    lblLicense =
        new QLabel(QStringLiteral("Copyright © 2026 The Dozo developers\nMIT License"), this);
    lblLicense->setObjectName(QStringLiteral("lblLicense"));
    lblLicense->setTextFormat(Qt::PlainText);
    cmdLicenses = new QPushButton(QStringLiteral("ライセンス(&L)..."), this);
    cmdLicenses->setObjectName(QStringLiteral("cmdLicenses"));
    // The designed 84 pixels, or what the caption needs in the installed font.
    for (QPushButton* button : {cmdOK, cmdSysInfo, cmdLicenses})
        button->setMinimumWidth(qMax(84, button->sizeHint().width()));

    // Escape reaches QDialog::reject, which closes the box like OK does.
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    connect(cmdLicenses, &QPushButton::clicked, this, &frmAbout::cmdLicenses_Click);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(titleBox);
    texts->addWidget(lblVersion);
    texts->addWidget(lblDescription);
    texts->addStretch();
    texts->addWidget(lblLicense);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto* etched = new QVBoxLayout;
    etched->setSpacing(0);
    etched->addWidget(Line1[0]);
    etched->addWidget(Line1[1]);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addWidget(cmdLicenses);
    buttons->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(10);
    layout->addLayout(top, 1);
    layout->addLayout(etched);
    layout->addLayout(bottom);

    // OK has the focus first, so Enter closes the box straight away.
    setTabOrder(cmdOK, cmdSysInfo);
    setTabOrder(cmdSysInfo, cmdLicenses);
    cmdOK->setFocus();
}

QColor frmAbout::titleColour(const QPalette& palette) {
    // The designed dark olive, as long as it stands out from the window's
    // background as well as text must (WCAG's 4.5:1); on a dark desktop it
    // all but vanished, and the palette's own text colour is used there.
    const QColor olive(64, 64, 0);
    const QColor text = palette.color(QPalette::WindowText);
    const QColor background = palette.color(QPalette::Window);
    return contrast(olive, background) >= 4.5 ? olive : text;
}

void frmAbout::colourTitle() {
    setTextColour(lblTitle[0], titleColour(palette()));
    setTextColour(lblTitle[1], QColor(128, 128, 128));
}

void frmAbout::changeEvent(QEvent* event) {
    // The desktop switched between a light and a dark scheme.
    if (event->type() == QEvent::PaletteChange) colourTitle();
    QDialog::changeEvent(event);
}

void frmAbout::Form_Load() {
    const QString title = QString::fromLatin1(kAppTitle);
    setWindowTitle(title + QStringLiteral(" のバージョン情報"));
    lblVersion->setText(versionText(kVersionMajor, kVersionMinor));
    for (QLabel* label : lblTitle) {
        label->setText(title);
        label->adjustSize();
    }
    lblTitle[0]->move(0, 0);
    lblTitle[1]->move(kShadowOffset, kShadowOffset);
    QWidget* titleBox = lblTitle[0]->parentWidget();
    titleBox->setFixedSize(lblTitle[0]->size() + QSize(kShadowOffset, kShadowOffset));
    lblDescription->setText(QStringLiteral(" ファイル暗号化ツールです。"));
}

void frmAbout::cmdSysInfo_Click() {
    // Whatever happens, the box stays open.
    StartSysInfo(*m_ui);
}

QString frmAbout::notices() {
    // Compiled in, so the box never depends on the documentation being
    // installed; the same file is installed in /usr/share/doc/dozo.
    QFile file(QStringLiteral(":/dozo/NOTICES.txt"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

void frmAbout::cmdLicenses_Click() {
    // Owned by the box, so it goes when the box is closed.
    showTextWindow(m_licenses, this, QStringLiteral("LicensesViewer"),
                   QStringLiteral("ライセンス - ") + QString::fromLatin1(kAppTitle), notices());
}

void frmAbout::fixGeometry() {
    // The designed size, scaled for screens above 96 dpi, but never smaller
    // than the texts need in the installed fonts.
    qreal scale = 1.0;
    if (const QScreen* s = screen()) scale = qMax<qreal>(1.0, s->logicalDotsPerInch() / 96.0);
    const QSize needed = layout()->minimumSize();
    setFixedSize(qMax(qRound(kClientWidth * scale), needed.width()),
                 qMax(qRound(kClientHeight * scale), needed.height()));
}

}  // namespace dozo
