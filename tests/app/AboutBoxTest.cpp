// The About box: its texts and looks, one instance at a time, Enter and
// Escape, the system information button against a PATH made for the test,
// and its life apart from the main window.
#include "Controls.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/dialogs/frmAbout.h"
#include "app/window/frmMain.h"
#include "build_tree.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

using dozo::frmAbout;
using Kind = ScriptedUiServices::Kind;
using Answer = dozo::UiServices::Answer;

QList<frmAbout*> aboutBoxes() {
    QList<frmAbout*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<frmAbout*>(widget); box && box->isVisible()) boxes << box;
    }
    return boxes;
}

// Runs the deletions that closing asked for.
void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class AboutBox : public testing::Test {
protected:
    void TearDown() override {
        // A box a failed test left open must not outlive it.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<frmAbout*>(widget)) delete widget;
        }
        flushDeletes();
    }

    frmAbout* open(dozo::frmMain& window) {
        window.menu().mnuAbout->trigger();
        const QList<frmAbout*> boxes = aboutBoxes();
        EXPECT_EQ(boxes.size(), 1);
        return boxes.value(0);
    }

    TestFolders folders;
    ScriptedUiServices ui;
};

TEST_F(AboutBox, ShowsTheApplicationsIdentity) {
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    frmAbout* about = open(window);
    ASSERT_NE(about, nullptr);

    EXPECT_EQ(about->objectName().toStdString(), "frmAbout");
    EXPECT_EQ(about->windowTitle().toStdString(), "Vuvurazir のバージョン情報");
    EXPECT_EQ(control<QLabel>(*about, "lblVersion")->text().toStdString(), "Version 2.20");
    EXPECT_EQ(control<QLabel>(*about, "lblDescription")->text().toStdString(),
              " ファイル暗号化ツールです。");
    QLabel* disclaimer = control<QLabel>(*about, "lblDisclaimer");
    EXPECT_TRUE(disclaimer->text().isEmpty());
    EXPECT_TRUE(disclaimer->isVisible());

    auto* ok = control<QPushButton>(*about, "cmdOK");
    auto* sysInfo = control<QPushButton>(*about, "cmdSysInfo");
    EXPECT_EQ(ok->text().toStdString(), "OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(sysInfo->text().toStdString(), "ｼｽﾃﾑ情報(&S)...");
    EXPECT_GT(sysInfo->y(), ok->y());
    for (QPushButton* button : {ok, sysInfo}) {
        EXPECT_GE(button->width(), button->sizeHint().width()) << "clipped caption";
        EXPECT_GE(button->width(), 84);
    }

    // A modeless window of its own, with a fixed frame.
    EXPECT_EQ(about->parentWidget(), nullptr);
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(about->minimumSize(), about->maximumSize());
    EXPECT_FALSE(about->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    QLabel* icon = control<QLabel>(*about, "picIcon");
    EXPECT_EQ(icon->size(), QSize(32, 32));
    const QImage shown = icon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(32, 32));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(shown,
              window.windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(about->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
              shown)
        << "its own window icon is the application's";
}

TEST_F(AboutBox, DrawsTheTitleWithItsShadowAndAnEtchedLine) {
    dozo::frmMain window(folders.options(), &ui);
    frmAbout* about = open(window);
    ASSERT_NE(about, nullptr);
    QLabel* title = control<QLabel>(*about, "lblTitle_0");
    QLabel* shadow = control<QLabel>(*about, "lblTitle_1");
    ASSERT_TRUE(title && shadow);

    for (QLabel* label : {title, shadow}) {
        EXPECT_EQ(label->text().toStdString(), "Vuvurazir");
        EXPECT_TRUE(label->font().bold());
        EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 20.25);
        // Whatever serif is installed is the one used, never a sans fallback.
        const QString family = QFontInfo(label->font()).family();
        EXPECT_TRUE(family.contains("Serif") || family.contains("Times")) << family.toStdString();
    }
    EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(64, 64, 0));
    EXPECT_EQ(shadow->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    // The shadow lies down and to the right, and the title is painted over it.
    EXPECT_EQ(shadow->pos() - title->pos(), QPoint(4, 4));
    ASSERT_EQ(title->parentWidget(), shadow->parentWidget());
    const QObjectList siblings = title->parentWidget()->children();
    EXPECT_GT(siblings.indexOf(title), siblings.indexOf(shadow));

    QLabel* version = control<QLabel>(*about, "lblVersion");
    EXPECT_DOUBLE_EQ(version->font().pointSizeF(), 18);

    QFrame* upper = control<QFrame>(*about, "Line1_0");
    QFrame* lower = control<QFrame>(*about, "Line1_1");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(upper->palette().color(QPalette::Window), QColor(128, 128, 128));
    EXPECT_EQ(lower->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(lower->y() - upper->y(), 1);
}

// On a dark desktop the designed olive would all but vanish: the title then
// takes the palette's text colour, at least as readable as text must be.
TEST_F(AboutBox, TheTitleStaysReadableOnADarkPalette) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2e, 0x32));
    dark.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
    EXPECT_EQ(frmAbout::titleColour(dark), QColor(0xfc, 0xfc, 0xfc));
    EXPECT_EQ(frmAbout::titleColour(QPalette(Qt::white)), QColor(64, 64, 0));

    dozo::frmMain window(folders.options(), &ui);
    frmAbout* about = open(window);
    ASSERT_NE(about, nullptr);
    about->setPalette(dark);
    EXPECT_EQ(control<QLabel>(*about, "lblTitle_0")->palette().color(QPalette::WindowText),
              QColor(0xfc, 0xfc, 0xfc))
        << "a palette changed while the box is open";
}

// The licence line and the notices: Dozo's own MIT licence and every third
// party the program or its packages carry, the same text the package
// installs in its documentation folder.
TEST_F(AboutBox, ShowsTheLicenceAndTheThirdPartyNotices) {
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    QPointer<frmAbout> about = open(window);
    ASSERT_TRUE(about);
    QLabel* licence = control<QLabel>(*about, "lblLicense");
    ASSERT_NE(licence, nullptr);
    EXPECT_TRUE(licence->isVisible());
    EXPECT_TRUE(licence->text().contains("2026 The Dozo developers"));
    EXPECT_TRUE(licence->text().contains("MIT License"));
    auto* button = control<QPushButton>(*about, "cmdLicenses");
    ASSERT_NE(button, nullptr);
    EXPECT_GE(button->width(), button->sizeHint().width()) << "clipped caption";

    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    const QList<QPlainTextEdit*> shown = about->findChildren<QPlainTextEdit*>("LicensesViewer");
    ASSERT_EQ(shown.size(), 1) << "one window, brought forward again";
    QPlainTextEdit* viewer = shown.front();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_TRUE(viewer->isReadOnly());
    const QString text = viewer->toPlainText();
    QFile license(QString::fromStdString(dozo::test::inSourceTree("LICENSE")));
    ASSERT_TRUE(license.open(QIODevice::ReadOnly));
    EXPECT_TRUE(text.contains(QString::fromUtf8(license.readAll()))) << "the whole MIT licence";
    for (const char* party : {"Qt 6", "libarchive", "GNU C Library (glibc) 2.", "libsodium 1.",
                              "IPAGothic", "IPA Font License Agreement"}) {
        EXPECT_TRUE(text.contains(QLatin1String(party))) << party;
    }
    EXPECT_FALSE(text.contains(QLatin1String("%s"))) << "the package program filled its texts";

    // The installed copy is the same text.
    QFile installed(QString::fromStdString(dozo::test::inBuildTree("app/dialogs/NOTICES.txt")));
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(installed.readAll()), text);

    // The notices close with the box.
    QPointer<QPlainTextEdit> guarded = viewer;
    about->close();
    flushDeletes();
    EXPECT_FALSE(guarded);
}

TEST_F(AboutBox, VersionTextPadsTheMinorVersion) {
    EXPECT_EQ(frmAbout::versionText(2, 20).toStdString(), "Version 2.20");
    EXPECT_EQ(frmAbout::versionText(2, 5).toStdString(), "Version 2.05");
    EXPECT_EQ(frmAbout::versionText(10, 0).toStdString(), "Version 10.00");
}

TEST_F(AboutBox, ChoosingItAgainBringsTheSameBoxForward) {
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    QPointer<frmAbout> first = open(window);
    ASSERT_TRUE(first);
    window.activateWindow();

    window.menu().mnuAbout->trigger();

    EXPECT_EQ(aboutBoxes().size(), 1);
    EXPECT_EQ(aboutBoxes().value(0), first.data());
    EXPECT_TRUE(first->isVisible());

    // Once closed it is gone, and the next choice loads a new one.
    first->close();
    flushDeletes();
    EXPECT_TRUE(first.isNull());
    QPointer<frmAbout> second = open(window);
    ASSERT_TRUE(second);
    EXPECT_EQ(control<QLabel>(*second, "lblVersion")->text().toStdString(), "Version 2.20");
}

// A key pressed on the focused OK button, or Qt::Key_unknown for a click on it.
struct CloseKey {
    const char* name;
    Qt::Key key;
};

class AboutBoxKeys : public AboutBox, public testing::WithParamInterface<CloseKey> {};

TEST_P(AboutBoxKeys, CloseAndDestroyTheBox) {
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    QPointer<frmAbout> about = open(window);
    ASSERT_TRUE(about);
    QApplication::setActiveWindow(about);
    QWidget* focus = about->focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->objectName().toStdString(), "cmdOK");

    if (GetParam().key == Qt::Key_unknown) {
        QTest::mouseClick(focus, Qt::LeftButton);
    } else {
        QTest::keyClick(focus, GetParam().key);
    }

    EXPECT_TRUE(about.isNull() || !about->isVisible());
    flushDeletes();
    EXPECT_TRUE(about.isNull());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ui.calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AboutBoxKeys,
    testing::Values(CloseKey{"Escape", Qt::Key_Escape}, CloseKey{"Return", Qt::Key_Return},
                    CloseKey{"Enter", Qt::Key_Enter}, CloseKey{"OkClicked", Qt::Key_unknown}),
    [](const testing::TestParamInfo<CloseKey>& test) { return std::string(test.param.name); });

// PATH replaced by one temporary folder for as long as the object lives.
class TemporaryPath {
public:
    TemporaryPath() : m_previous(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(m_dir.path()));
    }
    ~TemporaryPath() { qputenv("PATH", m_previous); }

    QString addProgram(const QString& name) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
        file.close();
        EXPECT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        return path;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

TEST_F(AboutBox, SystemInformationStartsTheProgramFoundOnPath) {
    TemporaryPath path;
    const QString program = path.addProgram("gnome-system-monitor");
    dozo::frmMain window(folders.options(), &ui);
    QPointer<frmAbout> about = open(window);
    ASSERT_TRUE(about);
    ui.answerStartProgram(true);

    QTest::mouseClick(control<QPushButton>(*about, "cmdSysInfo"), Qt::LeftButton);

    ASSERT_EQ(ui.calls().size(), 1u);
    EXPECT_EQ(ui.calls().front().kind, Kind::StartProgram);
    EXPECT_EQ(ui.calls().front().text.toStdString(), program.toStdString());
    flushDeletes();
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
}

struct Unavailable {
    const char* name;
    bool programOnPath;
};

class AboutBoxSysInfoUnavailable : public AboutBox,
                                   public testing::WithParamInterface<Unavailable> {};

TEST_P(AboutBoxSysInfoUnavailable, SaysSoAndStaysOpen) {
    TemporaryPath path;
    if (GetParam().programOnPath) path.addProgram("kinfocenter");
    dozo::frmMain window(folders.options(), &ui);
    QPointer<frmAbout> about = open(window);
    ASSERT_TRUE(about);
    if (GetParam().programOnPath) ui.answerStartProgram(false);
    ui.answerMessage(Answer::Ok);

    QTest::mouseClick(control<QPushButton>(*about, "cmdSysInfo"), Qt::LeftButton);

    ASSERT_FALSE(ui.calls().empty());
    const auto& call = ui.calls().back();
    EXPECT_EQ(call.kind, Kind::MessageBox);
    EXPECT_EQ(call.text.toStdString(), "現時点ではｼｽﾃﾑ情報を使用できません");
    EXPECT_EQ(call.title.toStdString(), "Vuvurazir");
    EXPECT_EQ(call.buttons, dozo::UiServices::Buttons::Ok);
    EXPECT_EQ(call.icon, dozo::UiServices::Icon::None);
    flushDeletes();
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Cases, AboutBoxSysInfoUnavailable,
                         testing::Values(Unavailable{"NoProgramOnPath", false},
                                         Unavailable{"ProgramFailsToStart", true}),
                         [](const testing::TestParamInfo<Unavailable>& test) {
                             return std::string(test.param.name);
                         });

// The real event loop: closing the main window leaves the program running
// while the About box is open; closing the box too ends it.
TEST_F(AboutBox, ProgramEndsOnlyWhenBothWindowsAreClosed) {
    ASSERT_TRUE(QGuiApplication::quitOnLastWindowClosed());
    QPointer<dozo::frmMain> window = new dozo::frmMain(folders.options(), &ui);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QPointer<frmAbout> about = open(*window);
    ASSERT_TRUE(about);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        // Any other window on screen would keep the loop below running.
        ASSERT_TRUE(!widget->isVisible() || widget == window || widget == about)
            << widget->objectName().toStdString();
    }
    TemporaryPath emptyPath;
    ui.answerMessage(Answer::Yes);
    ui.answerMessage(Answer::Ok);

    int lastWindowClosed = 0;
    int closedWhileBoxOpen = -1;
    int closedAfterBox = -1;
    bool boxOpenAfterWindow = false;
    QObject steps;  // steps still queued when the loop ends are dropped with it
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &steps, [&] { ++lastWindowClosed; });
    QMetaObject::invokeMethod(
        &steps,
        [&] {
            window->close();
            QMetaObject::invokeMethod(
                &steps,
                [&] {
                    closedWhileBoxOpen = lastWindowClosed;
                    boxOpenAfterWindow = window.isNull() && about && about->isVisible();
                    // Its button still works with the window gone.
                    if (about) {
                        QTest::mouseClick(about->findChild<QPushButton*>("cmdSysInfo"),
                                          Qt::LeftButton);
                    }
                    if (about) about->close();
                    closedAfterBox = lastWindowClosed;
                    // Never leave the loop waiting, whatever happened above.
                    QMetaObject::invokeMethod(
                        &steps, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    QApplication::exec();
    flushDeletes();

    EXPECT_EQ(closedWhileBoxOpen, 0);
    EXPECT_TRUE(boxOpenAfterWindow);
    EXPECT_EQ(closedAfterBox, 1);
    ASSERT_EQ(ui.calls().size(), 2u);
    EXPECT_EQ(ui.calls().back().text.toStdString(), "現時点ではｼｽﾃﾑ情報を使用できません");
    delete window.data();
}

}  // namespace
