#include "app/window/frmMain.h"

#include "app/dialogs/AppIcon.h"
#include "app/dialogs/MenuCommands.h"
#include "app/panels/ArchivePanel.h"
#include "app/panels/KeyedPanel.h"
#include "app/panels/PackagePanel.h"
#include "app/panels/TransformPanel.h"
#include "app/timer/EnablementTick.h"
#include "app/window/WindowDrop.h"
#include "core/startup/AppInfo.h"
#include "core/text/Language.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <cstdio>

namespace dozo {

namespace {

QString applicationDirOf(const StartUpOptions& options) {
    return options.applicationDir.isEmpty() ? QCoreApplication::applicationDirPath()
                                            : options.applicationDir;
}

// The client area the window was designed for: 411 x 296 pixels at 96 dpi.
constexpr int kClientWidth = 411;
constexpr int kClientHeight = 296;

}  // namespace

frmMain::frmMain(const StartUpOptions& options, UiServices* ui, QWidget* parent)
    : QMainWindow(parent),
      m_dirs(AppDirectories::resolve(applicationDirOf(options), options.systemDir)),
      m_work(options.workDir.isEmpty() ? WorkDirectory::forUser() : WorkDirectory(options.workDir)),
      m_libraries(m_dirs),
      m_qtUi(this),
      m_longRun(new LongRun(this)),
      m_shell(this, m_state, m_libraries, *m_longRun, m_dirs, m_work,
              ui ? *ui : static_cast<UiServices&>(m_qtUi)) {
    setObjectName(QStringLiteral("frmMain"));
    // The interface is Japanese throughout, whatever the locale: the jobs'
    // reasons follow.
    useLanguage(Language::Japanese);
    setWindowTitle(QString::fromLatin1(kAppTitle));
    // Fixed single border: minimize and close, no maximize.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setWindowIcon(AppIcon::icon());

    createControls();
    connectMenus();

    // Nothing of the window says what is wrong with the install itself: the
    // terminal that started it does.
    for (const QString& problem : StartUp::run(options, m_dirs, m_libraries, m_state))
        std::fprintf(stderr, "dozo: %s\n", problem.toLocal8Bit().constData());
    applyStartUp();
    fixGeometry();
}

frmMain::~frmMain() = default;

void frmMain::setUiServices(UiServices* ui) {
    m_shell.setUi(ui ? *ui : static_cast<UiServices&>(m_qtUi));
}

void frmMain::createControls() {
    m_menu = std::make_unique<MainMenu>(menuBar());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    m_tabs = new QTabWidget(client);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_package = new PackagePanel(m_shell);
    m_archive = new ArchivePanel(m_shell);
    m_transform = new TransformPanel(m_shell);
    m_keyed = new KeyedPanel(m_shell);
    m_tabs->addTab(m_package, QStringLiteral("RIVO暗号化"));
    m_tabs->addTab(m_archive, QStringLiteral("複数ファイル圧縮"));
    m_tabs->addTab(m_transform, QStringLiteral("Rozu32"));
    m_tabs->addTab(m_keyed, QStringLiteral("Zurozid"));
    m_tabs->setCurrentIndex(0);
    // Enter on a focused button presses it, as Space does: outside a dialog
    // Qt's buttons take Space only, and a user who tabs to 処理開始 and
    // presses Enter would otherwise see nothing happen.
    for (QPushButton* button : m_tabs->findChildren<QPushButton*>()) button->setAutoDefault(true);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_tabs);
    setCentralWidget(client);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Tmr"));
    m_timer->setInterval(10);
    m_timer->start();
    // No tick and no menu command may run while a long run holds the window.
    connect(m_longRun, &LongRun::busyChanged, m_timer, [this](bool busy) {
        m_menu->hold(busy);
        if (busy) {
            m_timer->stop();
        } else {
            m_timer->start();
        }
    });
    new EnablementTick(
        {m_timer, *m_longRun, m_state, *m_menu, m_package, m_archive, m_transform, m_keyed}, this);
    new WindowDrop(*this);
}

void frmMain::connectMenus() {
    // A menu twin of a button connects to the same handler as the button.
    connect(m_menu->mnuExit, &QAction::triggered, this, &QWidget::close);
    // Settings, version boxes, Read Me and the About box.
    new MenuCommands(m_shell, *m_menu, this);
    connect(m_menu->mnuFileOpen, &QAction::triggered, m_package, &PackagePanel::BR_Click);
    connect(m_menu->mnuEncryption, &QAction::triggered, m_package, &PackagePanel::Enc_Click);
    connect(m_menu->mnuLHAEnc, &QAction::triggered, m_package, &PackagePanel::LHAEnc_Click);
}

void frmMain::applyStartUp() {
    m_package->showTarget();

    const bool unlha = m_state.LHAEx == kPresent;
    m_menu->mnuLHASet->setEnabled(unlha);
    m_menu->mnuLHAVer->setEnabled(unlha);

    const bool razu = m_state.RazuEx == kPresent;
    m_menu->mnuRazuVer->setEnabled(razu);
    m_transform->setLibraryPresent(razu);

    const bool vov = m_state.VovEx == kPresent;
    m_menu->mnuVovVer->setEnabled(vov);
    m_keyed->setLibraryPresent(vov);

    setWindowTitle(StartUp::caption());
}

void frmMain::fixGeometry() {
    // The designed size, scaled for screens set to more than 96 dpi, but
    // never smaller than what the captions in the installed font need.
    qreal scale = 1.0;
    if (const QScreen* s = screen()) scale = qMax<qreal>(1.0, s->logicalDotsPerInch() / 96.0);
    QWidget* client = centralWidget();
    const QSize needed = client->minimumSizeHint();
    const QSize size(qMax(qRound(kClientWidth * scale), needed.width()),
                     qMax(qRound(kClientHeight * scale), needed.height()));
    client->setFixedSize(size);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_longRun->busy()) {
        event->ignore();
        return;
    }
    const auto answer =
        ui().messageBox(QStringLiteral("終了しますか"), QString::fromLatin1(kAppTitle),
                        UiServices::Buttons::YesNo, UiServices::Icon::Question);
    if (answer == UiServices::Answer::Yes) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace dozo
