// The window used from the keyboard, with real key events: access keys that
// two controls share still reach the button, Shift+F10 and the Menu key open
// a list's menu at its current entry, the empty archive list says how to add
// to it, and the text windows close from the keyboard within the screen and
// hand the focus back.
#include "Controls.h"
#include "PanelTestWindow.h"

#include "app/dialogs/MenuCommands.h"
#include "app/dialogs/frmAbout.h"
#include "core/startup/AppDirectories.h"

#include <gtest/gtest.h>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>

namespace {

// The specified captions share some access keys; Qt cycles through the
// controls that share one, and the cycle must come to the button.
TEST(AppKeyboard, ASharedAccessKeyReachesTheButton) {
    PanelTestWindow app(PanelTestWindow::Libraries{true, true, true});
    dozo::frmMain& w = app.window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    struct Row {
        int tab;
        Qt::Key key;
        const char* button;
    };
    for (const Row& row : {Row{1, Qt::Key_L, "cmdClear"}, Row{1, Qt::Key_D, "cmdDevelop"},
                           Row{2, Qt::Key_B, "BR2"}, Row{2, Qt::Key_L, "CmdCL"}}) {
        SCOPED_TRACE(row.button);
        app.showTab(row.tab);
        w.SSTab1()->setFocus();
        QWidget* button = control(w, QLatin1String(row.button));
        bool reached = false;
        for (int press = 0; press < 3 && !reached; ++press) {
            QTest::keyClick(QApplication::focusWidget(), row.key, Qt::AltModifier);
            // The menu bar's DLL(&D) is in the cycle too.
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            reached = QApplication::focusWidget() == button;
        }
        EXPECT_TRUE(reached);
        EXPECT_TRUE(app.ui().calls().empty()) << "the cycle pressed something";
    }
}

// Where the menu opened and what it held, seen from inside its own loop.
struct Opened {
    QPoint at;
    QStringList items;
};

Opened openedBy(QWidget* list, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    Opened opened;
    QMetaObject::invokeMethod(
        list,
        [&opened] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            opened.at = menu->pos();
            for (const QAction* item : menu->actions()) opened.items << item->objectName();
            menu->close();
        },
        Qt::QueuedConnection);
    QTest::keyClick(list, key, modifiers);
    return opened;
}

TEST(AppKeyboard, MenuKeysOpenTheListMenuAtTheCurrentEntry) {
    PanelTestWindow app;
    for (const auto& [tab, name] :
         {std::pair{1, "FL"}, std::pair{2, "IFN"}, std::pair{3, "lstVov"}}) {
        app.showTab(tab);
        auto* list = control<QListWidget>(app.window(), QLatin1String(name));
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
            SCOPED_TRACE(std::string(name) + (key == Qt::Key_Menu ? " Menu" : " Shift+F10"));
            list->clear();
            list->setFocus();
            Opened opened = openedBy(list, key, modifiers);
            EXPECT_EQ(opened.items, (QStringList{QStringLiteral("%1Add").arg(name),
                                                 QStringLiteral("%1Remove").arg(name),
                                                 QStringLiteral("%1Clear").arg(name)}));
            EXPECT_EQ(opened.at, list->viewport()->mapToGlobal(QPoint(0, 0)));

            list->addItems({"/a", "/b", "/c"});
            list->setCurrentRow(1);
            opened = openedBy(list, key, modifiers);
            const QRect entry = list->visualItemRect(list->item(1));
            EXPECT_EQ(opened.at, list->viewport()->mapToGlobal(entry.bottomLeft()));
        }
    }
}

TEST(AppKeyboard, TheEmptyArchiveListSaysHowToAddFiles) {
    PanelTestWindow app;
    app.showTab(1);
    auto* list = control<QListWidget>(app.window(), "FL");
    const auto colours = [list] {
        const QImage shot = list->viewport()->grab().toImage();
        QSet<QRgb> seen;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) seen.insert(shot.pixel(x, y));
        return seen.size();
    };
    EXPECT_GT(colours(), 1) << "an empty list shows its hint";
    EXPECT_TRUE(list->accessibleDescription().contains(QStringLiteral("追加…")));
    EXPECT_TRUE(list->accessibleDescription().contains(QStringLiteral("ドロップ")));
}

// The Read Me (the window's) and the notices (the About box's): opened by a
// window at the screen's far corner, they still lie wholly on the screen;
// Escape and Ctrl+W close them, and the window that opened them is active
// again.
TEST(AppKeyboard, TextWindowsCloseFromTheKeyboardAndGiveTheFocusBack) {
    PanelTestWindow app;
    dozo::frmMain& w = app.window();
    const QString data = dozo::AppDirectories::resolve(app.folders().applicationDir()).data;
    ASSERT_TRUE(QDir().mkpath(data));
    QFile readMe(data + QStringLiteral("ReadMe.txt"));
    ASSERT_TRUE(readMe.open(QIODevice::WriteOnly));
    readMe.write(QByteArray(200, 'x').append('\n').repeated(100));
    readMe.close();
    const QRect screen = w.screen()->availableGeometry();
    w.move(screen.bottomRight() - QPoint(60, 60));
    w.menu().mnuAbout->trigger();
    QPointer<dozo::frmAbout> about = w.findChild<dozo::MenuCommands*>()->about();
    ASSERT_TRUE(about);
    about->move(screen.bottomRight() - QPoint(60, 60));

    const std::function<QWidget*()> open[] = {
        [&]() -> QWidget* {
            app.ui().answerOpenDocument(false);
            w.menu().mnuReadMe->trigger();
            return w.findChild<dozo::MenuCommands*>()->readMeWindow();
        },
        [&]() -> QWidget* {
            QTest::mouseClick(about->cmdLicenses, Qt::LeftButton);
            return about->licensesWindow();
        },
    };
    for (int which = 0; which < 2; ++which) {
        QWidget* owner = which == 0 ? static_cast<QWidget*>(&w) : about.data();
        for (const QKeySequence& key :
             {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            SCOPED_TRACE(which * 2 + (key == QKeySequence(Qt::Key_Escape) ? 0 : 1));
            QPointer<QWidget> viewer = open[which]();
            ASSERT_TRUE(viewer);
            ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
            EXPECT_TRUE(screen.contains(viewer->frameGeometry()))
                << viewer->frameGeometry().x() << "," << viewer->frameGeometry().y();
            QTest::keySequence(viewer, key);
            EXPECT_TRUE(!viewer || !viewer->isVisible());
            EXPECT_TRUE(QTest::qWaitFor([owner] { return QApplication::activeWindow() == owner; }));
        }
    }
    about->close();
}

}  // namespace
