// Every way of closing the window asks "終了しますか" first; No keeps the
// window as it was.
#include "Controls.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/panels/ArchivePanel.h"
#include "app/panels/PackagePanel.h"
#include "app/window/frmMain.h"

#include <gtest/gtest.h>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QTest>
#include <functional>

namespace {

using Answer = dozo::UiServices::Answer;

struct CloseRoute {
    const char* name;
    std::function<void(dozo::frmMain&)> request;
};

void PrintTo(const CloseRoute& r, std::ostream* os) {
    *os << r.name;
}

class AppClose : public testing::TestWithParam<CloseRoute> {
protected:
    void expectQuestionAsked() {
        ASSERT_EQ(ui.calls().size(), 1u);
        const auto& call = ui.calls().front();
        EXPECT_EQ(call.kind, ScriptedUiServices::Kind::MessageBox);
        EXPECT_EQ(call.text.toStdString(), "終了しますか");
        EXPECT_EQ(call.title.toStdString(), "Vuvurazir");
        EXPECT_EQ(call.buttons, dozo::UiServices::Buttons::YesNo);
        EXPECT_EQ(call.icon, dozo::UiServices::Icon::Question);
    }

    TestFolders folders;
    ScriptedUiServices ui;
};

TEST_P(AppClose, NoKeepsTheWindowAndItsContents) {
    dozo::frmMain window(folders.options({"/tmp/target.bin"}), &ui);
    window.show();
    window.SSTab1()->setCurrentIndex(1);
    control<QListWidget>(window, "FL")->addItem("/tmp/listed.txt");
    control<QLineEdit>(window, "PASS")->setText("secret");
    ui.answerMessage(Answer::No);

    GetParam().request(window);

    expectQuestionAsked();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.SSTab1()->currentIndex(), 1);
    EXPECT_EQ(control<QListWidget>(window, "FL")->count(), 1);
    EXPECT_EQ(control<QLineEdit>(window, "PASS")->text().toStdString(), "secret");
    EXPECT_EQ(window.state().TFN.toStdString(), "/tmp/target.bin");
    EXPECT_TRUE(window.Tmr()->isActive());
}

TEST_P(AppClose, YesClosesTheWindow) {
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    ui.answerMessage(Answer::Yes);

    GetParam().request(window);

    expectQuestionAsked();
    EXPECT_FALSE(window.isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Routes, AppClose,
    testing::Values(CloseRoute{"ExitMenuItem",
                               [](dozo::frmMain& w) { w.menu().mnuExit->trigger(); }},
                    // What the title-bar button and the window menu deliver.
                    CloseRoute{"WindowSystemClose",
                               [](dozo::frmMain& w) {
                                   QCloseEvent event;
                                   event.setAccepted(true);
                                   QCoreApplication::sendEvent(w.windowHandle(), &event);
                               }},
                    CloseRoute{"CloseCall", [](dozo::frmMain& w) { w.close(); }}),
    [](const testing::TestParamInfo<CloseRoute>& test) { return std::string(test.param.name); });

TEST(AppCloseDuringLongRun, RefusedWithoutAsking) {
    TestFolders folders;
    ScriptedUiServices ui;  // nothing scripted: asking would fail the test
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    bool closed = true;
    window.longRun().run([&](dozo::LongRun::Progress& progress) {
        progress.post([&] { closed = window.close(); });
    });
    EXPECT_FALSE(closed);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ui.calls().empty());
}

}  // namespace
