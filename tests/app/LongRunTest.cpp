// A long run keeps the window painting but deaf: input made during the run is
// thrown away, progress reaches the window's thread, the result comes back.
#include "Controls.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/panels/ArchivePanel.h"
#include "app/panels/PackagePanel.h"
#include "app/panels/TransformPanel.h"
#include "app/timer/EnablementTick.h"
#include "app/window/frmMain.h"
#include "core/startup/AppDirectories.h"

#include <gtest/gtest.h>
#include <QCursor>
#include <QInputMethodEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {

class AppLongRun : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<dozo::frmMain>(folders.options(), &ui);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    TestFolders folders;
    ScriptedUiServices ui;
    std::unique_ptr<dozo::frmMain> window;
};

TEST_F(AppLongRun, ResultAndProgressComeBackInOrderOnTheWindowThread) {
    std::vector<int> steps;
    std::vector<bool> busyDuringProgress;
    QThread* workThread = nullptr;
    QThread* progressThread = nullptr;
    const int result = window->longRun().run([&](dozo::LongRun::Progress& progress) {
        workThread = QThread::currentThread();
        for (int i = 1; i <= 5; ++i) {
            progress.post([&, i] {
                steps.push_back(i);
                busyDuringProgress.push_back(window->longRun().busy());
                progressThread = QThread::currentThread();
            });
        }
        return 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(busyDuringProgress, std::vector<bool>(5, true));
    EXPECT_NE(workThread, window->thread()) << "the work must leave the window's thread free";
    EXPECT_EQ(progressThread, window->thread());
    EXPECT_FALSE(window->longRun().busy());
}

TEST_F(AppLongRun, ProgressMovesABarWhileTheWorkWaits) {
    QProgressBar* bar = control<QProgressBar>(*window, "Prg1");
    bar->setMaximum(3);
    std::vector<int> seen;
    window->longRun().run([&](dozo::LongRun::Progress& progress) {
        for (int i = 1; i <= 3; ++i) {
            progress.post([bar, i, &seen] {
                bar->setValue(i);
                seen.push_back(bar->value());
            });
        }
    });
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(bar->value(), 3);
}

TEST_F(AppLongRun, InputDuringTheRunIsSwallowedNotPostponed) {
    QPushButton* button = control<QPushButton>(*window, "BR");
    QLineEdit* field = control<QLineEdit>(*window, "TFile");
    QSignalSpy clicks(button, &QPushButton::clicked);
    QSignalSpy menuHits(window->menu().mnuFileOpen, &QAction::triggered);
    bool dropAccepted = true;
    window->longRun().run([&](dozo::LongRun::Progress& progress) {
        progress.post([&] {
            QTest::mouseClick(button, Qt::LeftButton);
            field->setFocus();
            QTest::keyClicks(field, "typed");
            // What an input method (the usual way Japanese is typed) commits
            // comes as its own event, not as key presses.
            QInputMethodEvent committed;
            committed.setCommitString(QStringLiteral("鍵"));
            QApplication::sendEvent(field, &committed);
            QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);

            QMimeData data;
            data.setUrls({QUrl::fromLocalFile("/tmp/dropped.txt")});
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(field, &drop);
            dropAccepted = drop.isAccepted();
        });
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(menuHits.count(), 0);
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_FALSE(dropAccepted);

    // Afterwards the window listens again: the click opens the browse dialog.
    ui.answerOpenFile(std::nullopt);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    QTest::keyClicks(field, "x");
    EXPECT_EQ(field->text().toStdString(), "x");
}

// A global menu (the desktop's menu bar outside the window) triggers the
// items directly, past the window's input: during a run every item is off,
// so no command starts a second run or opens a box the held window would
// never let the user answer; afterwards each item is as it was.
TEST_F(AppLongRun, MenuItemsTriggeredFromOutsideTheWindowWaitForTheRun) {
    control<QLineEdit>(*window, "TFile")->setText(QStringLiteral("/tmp/target.bin"));
    control<QLineEdit>(*window, "PASS")->setText(QStringLiteral("secret"));
    window->findChild<dozo::EnablementTick*>()->tick();
    const QList<QAction*> items = window->menuBar()->findChildren<QAction*>();
    std::vector<bool> before;
    for (const QAction* item : items) before.push_back(item->isEnabled());
    ASSERT_TRUE(window->menu().mnuEncryption->isEnabled());

    window->longRun().run([&](dozo::LongRun::Progress& progress) {
        progress.post([&] {
            for (QAction* item : items) item->trigger();
        });
    });

    EXPECT_TRUE(ui.calls().empty()) << "a command ran during the run";
    EXPECT_TRUE(window->isVisible());
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](const QWidget* w) {
        return w->isVisible() && w->objectName() == QLatin1String("frmAbout");
    })) << "the About box opened during the run";
    std::vector<bool> after;
    for (const QAction* item : items) after.push_back(item->isEnabled());
    EXPECT_EQ(after, before);
}

TEST_F(AppLongRun, OtherWindowsStillTakeInput) {
    QPushButton other("other");
    other.show();
    QSignalSpy clicks(&other, &QPushButton::clicked);
    window->longRun().run([&](dozo::LongRun::Progress& progress) {
        progress.post([&] { QTest::mouseClick(&other, Qt::LeftButton); });
    });
    EXPECT_EQ(clicks.count(), 1);
}

// Records the key, wheel and button presses that reach a widget past the
// application's filters.
struct InputSeen : QObject {
    QList<QEvent::Type> seen;
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress || type == QEvent::Wheel || type == QEvent::MouseButtonPress)
            seen.append(type);
        return false;
    }
};

// The Read Me viewer belongs to the window (it closes with it) but is a
// window of its own: the guide can be scrolled and read while a run holds
// the main window, and Escape there does not stop the run.
TEST_F(AppLongRun, TheReadMeViewerStillTakesInput) {
    const QString data = dozo::AppDirectories::resolve(folders.applicationDir()).data;
    ASSERT_TRUE(QDir().mkpath(data));
    QFile readMe(data + QStringLiteral("ReadMe.txt"));
    ASSERT_TRUE(readMe.open(QIODevice::WriteOnly));
    readMe.write(QByteArray("guide\n").repeated(500));
    readMe.close();
    ui.answerOpenDocument(false);
    window->menu().mnuReadMe->trigger();
    auto* viewer = window->findChild<QPlainTextEdit*>(QStringLiteral("ReadMeViewer"));
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
    InputSeen onViewer, onWindow;
    viewer->viewport()->installEventFilter(&onViewer);
    QWidget* list = control<QListWidget>(*window, "IFN")->viewport();
    list->installEventFilter(&onWindow);

    bool cancelled = false;
    window->longRun().run(
        [&](dozo::LongRun::Progress& progress) {
            progress.post([&] {
                // Escape on the main window would stop the run: there only
                // the mouse is tried.
                QTest::keyClick(viewer->viewport(), Qt::Key_Escape);
                for (QWidget* target : {viewer->viewport(), list}) {
                    QWheelEvent wheel(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), {},
                                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                                      Qt::NoScrollPhase, false);
                    QApplication::sendEvent(target, &wheel);
                    QTest::mousePress(target, Qt::LeftButton, {}, QPoint(5, 5));
                    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(5, 5));
                }
            });
        },
        {[&] { cancelled = true; }});

    EXPECT_EQ(onViewer.seen,
              (QList<QEvent::Type>{QEvent::KeyPress, QEvent::Wheel, QEvent::MouseButtonPress}));
    EXPECT_TRUE(onWindow.seen.isEmpty()) << "the main window took input during the run";
    EXPECT_FALSE(cancelled) << "Escape in the viewer stopped the run";
}

TEST_F(AppLongRun, TheTimerRestsDuringTheRun) {
    bool activeDuringRun = true;
    window->longRun().run([&](dozo::LongRun::Progress& progress) {
        progress.post([&] { activeDuringRun = window->Tmr()->isActive(); });
    });
    EXPECT_FALSE(activeDuringRun);
    EXPECT_TRUE(window->Tmr()->isActive());
}

// The wait cursor for the whole run, the user's cursor again after it, also
// when the work fails.
TEST_F(AppLongRun, TheWaitCursorShowsForTheRunOnly) {
    const auto shape = [] {
        const QCursor* cursor = QApplication::overrideCursor();
        return cursor ? std::optional(cursor->shape()) : std::nullopt;
    };
    std::optional<Qt::CursorShape> during;
    window->longRun().run(
        [&](dozo::LongRun::Progress& progress) { progress.post([&] { during = shape(); }); });
    EXPECT_EQ(during, Qt::WaitCursor);
    EXPECT_EQ(shape(), std::nullopt);

    EXPECT_THROW(window->longRun().run([](dozo::LongRun::Progress&) -> int {
        throw std::runtime_error("disk full");
    }),
                 std::runtime_error);
    EXPECT_EQ(shape(), std::nullopt);
}

TEST_F(AppLongRun, AnExceptionOfTheWorkReachesTheCaller) {
    EXPECT_THROW(window->longRun().run([](dozo::LongRun::Progress&) -> int {
        throw std::runtime_error("disk full");
    }),
                 std::runtime_error);
    EXPECT_FALSE(window->longRun().busy());
    EXPECT_TRUE(window->Tmr()->isActive());
    QSignalSpy clicks(control<QPushButton>(*window, "BR"), &QPushButton::clicked);
    ui.answerOpenFile(std::nullopt);
    QTest::mouseClick(control<QPushButton>(*window, "BR"), Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1) << "input must be back after a failed run";
}

TEST_F(AppLongRun, RunsDoNotNest) {
    bool refused = false;
    window->longRun().run([&](dozo::LongRun::Progress& progress) {
        progress.post([&] {
            try {
                window->longRun().run([](dozo::LongRun::Progress&) {});
            } catch (const std::logic_error&) {
                refused = true;
            }
        });
    });
    EXPECT_TRUE(refused);
}

}  // namespace
