// The enablement rules: as a table on the pure function, then through the
// real window's tick, its timer, and a long run that holds the tick.
#include "Controls.h"
#include "PanelTestWindow.h"

#include "app/panels/ArchivePanel.h"
#include "app/panels/KeyedPanel.h"
#include "app/panels/PackagePanel.h"
#include "app/panels/TransformPanel.h"
#include "app/timer/Enablement.h"

#include <gtest/gtest.h>
#include <QTest>

namespace {

using dozo::EnabledStates;
using dozo::Enablement;
using dozo::EnablementInputs;

TEST(AppEnablementRules, BlankMeansOnlySpacesIncludingTheFullWidthOne) {
    const std::pair<QString, bool> cases[] = {
        {QString(), true},
        {QStringLiteral(" "), true},
        {QStringLiteral("     "), true},
        {QStringLiteral("\u3000"), true},
        {QStringLiteral(" \u3000 \u3000"), true},
        {QStringLiteral("\t"), false},
        {QStringLiteral(" \t "), false},
        {QStringLiteral("\n"), false},
        {QStringLiteral(" a "), false},
        {QStringLiteral("\u3000あ\u3000"), false},
        {QStringLiteral("\u00A0"), false},
    };
    for (const auto& [text, blank] : cases) {
        EXPECT_EQ(Enablement::isBlank(text), blank) << text.toStdString();
    }
}

EnabledStates states(bool enc, bool lhaEnc, bool develop, bool run, bool vov, bool compress) {
    return {enc, enc, lhaEnc, lhaEnc, develop, run, vov, compress};
}

struct RuleCase {
    const char* name;
    EnablementInputs in;
    EnabledStates out;
};

EnablementInputs inputs(const char* tfile, const char* pass, int ifn, int vov, int fl,
                        std::uint8_t lha, std::uint8_t razu, std::uint8_t vovEx) {
    return {QString::fromUtf8(tfile), QString::fromUtf8(pass), ifn, vov, fl, lha, razu, vovEx};
}

// clang-format off
const RuleCase kRules[] = {
    {"NothingAtAll",          inputs("", "", 0, 0, 0, 0, 0, 0),                  states(false, false, false, false, false, false)},
    {"EverythingPresent",     inputs("/a", "pw", 1, 2, 3, 255, 255, 255),        states(true, true, true, true, true, true)},
    {"TargetOfSpaces",        inputs("   ", "pw", 0, 0, 0, 255, 0, 0),           states(false, false, true, false, false, false)},
    {"PasswordOfSpaces",      inputs("/a", "  ", 0, 0, 0, 255, 0, 0),            states(false, false, true, false, false, false)},
    {"PasswordFullWidthSpace",inputs("/a", "\u3000", 0, 0, 0, 255, 0, 0),        states(false, false, true, false, false, false)},
    {"PasswordTab",           inputs("/a", "\t", 0, 0, 0, 255, 0, 0),            states(true, true, true, false, false, false)},
    {"NoArchiver",            inputs("/a", "pw", 4, 4, 4, 0, 255, 255),          states(true, false, false, true, true, false)},
    {"ArchiverEmptyList",     inputs("", "", 0, 0, 0, 255, 255, 255),            states(false, false, true, false, false, false)},
    {"ArchiverOneItem",       inputs("", "", 0, 0, 1, 255, 255, 255),            states(false, false, true, false, false, true)},
    {"TransformAbsentFull",   inputs("", "", 9, 0, 0, 0, 0, 255),                states(false, false, false, false, false, false)},
    {"KeyedAbsentFull",       inputs("", "", 0, 9, 0, 0, 255, 0),                states(false, false, false, false, false, false)},
    {"FlagsOtherThan255",     inputs("/a", "pw", 1, 1, 1, 1, 254, 128),          states(true, false, false, false, false, false)},
};
// clang-format on

TEST(AppEnablementRules, EachRuleFromItsInputs) {
    for (const RuleCase& c : kRules) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Enablement::compute(c.in), c.out);
    }
}

// The same rules through the real window: its fields, lists and the flags
// start-up set from the libraries it found.
struct WindowCase {
    const char* name;
    PanelTestWindow::Libraries libraries;
    const char* TFile;
    const char* PASS;
    int ifn, vov, fl;
    EnabledStates out;
};

// clang-format off
const WindowCase kWindowCases[] = {
    {"AllLibrariesFilled",   {true, true, true},    "/t", "p",      2, 2, 2, states(true, true, true, true, true, true)},
    {"AllLibrariesEmpty",    {true, true, true},    "",   "",       0, 0, 0, states(false, false, true, false, false, false)},
    {"NoLibrariesFilled",    {false, false, false}, "/t", "p",      3, 3, 3, states(true, false, false, false, false, false)},
    {"BlankTexts",           {true, true, true},    " ",  "\u3000", 1, 0, 1, states(false, false, true, true, false, true)},
    {"TabIsContent",         {true, true, true},    "\t", "\t",     0, 1, 0, states(true, true, true, false, true, false)},
    {"OnlyKeyedLibrary",     {false, true, false},  "/t", "  p  ",  1, 1, 1, states(true, false, false, false, true, false)},
};
// clang-format on

EnabledStates shown(dozo::frmMain& w) {
    return {control<QPushButton>(w, "Enc")->isEnabled(),
            w.menu().mnuEncryption->isEnabled(),
            control<QPushButton>(w, "LHAEnc")->isEnabled(),
            w.menu().mnuLHAEnc->isEnabled(),
            control<QPushButton>(w, "cmdDevelop")->isEnabled(),
            control<QPushButton>(w, "cmdEnc")->isEnabled(),
            control<QPushButton>(w, "cmdVovEnc")->isEnabled(),
            control<QPushButton>(w, "cmdCompress")->isEnabled()};
}

void fill(QListWidget* list, int count) {
    list->clear();
    for (int i = 0; i < count; ++i) list->addItem(QStringLiteral("/item%1").arg(i));
}

TEST(AppEnablementTick, AppliesTheRulesToTheWindow) {
    for (const WindowCase& c : kWindowCases) {
        SCOPED_TRACE(c.name);
        PanelTestWindow app(c.libraries);
        dozo::frmMain& w = app.window();
        control<QLineEdit>(w, "TFile")->setText(QString::fromUtf8(c.TFile));
        control<QLineEdit>(w, "PASS")->setText(QString::fromUtf8(c.PASS));
        fill(control<QListWidget>(w, "IFN"), c.ifn);
        fill(control<QListWidget>(w, "lstVov"), c.vov);
        fill(control<QListWidget>(w, "FL"), c.fl);
        app.tick();
        EXPECT_EQ(shown(w), c.out);
        // The tick writes its eight outputs and nothing else.
        EXPECT_TRUE(control<QPushButton>(w, "BR2")->isEnabled());
        EXPECT_TRUE(control<QPushButton>(w, "cmdDelete")->isEnabled());
        EXPECT_EQ(control<QGroupBox>(w, "Frame1")->isEnabled(), c.libraries.rozu32);
        EXPECT_EQ(control<QGroupBox>(w, "Frame2")->isEnabled(), c.libraries.vod32);
    }
}

TEST(AppEnablementTick, TheTimerFollowsListsAndFields) {
    PanelTestWindow app(PanelTestWindow::Libraries{true, true, true});
    dozo::frmMain& w = app.window();
    QPushButton* run = control<QPushButton>(w, "cmdEnc");
    QTRY_VERIFY(!run->isEnabled());
    control<QListWidget>(w, "IFN")->addItem(QStringLiteral("/x"));
    QTRY_VERIFY(run->isEnabled());
    control<QListWidget>(w, "IFN")->clear();
    QTRY_VERIFY(!run->isEnabled());

    control<QLineEdit>(w, "TFile")->setText(QStringLiteral("/target"));
    control<QLineEdit>(w, "PASS")->setText(QStringLiteral("secret"));
    QTRY_VERIFY(w.menu().mnuLHAEnc->isEnabled());
    control<QLineEdit>(w, "PASS")->setText(QStringLiteral("  "));
    QTRY_VERIFY(!control<QPushButton>(w, "Enc")->isEnabled());
    EXPECT_FALSE(w.menu().mnuEncryption->isEnabled());
}

TEST(AppEnablementTick, NoTickChangesAnythingWhileALongRunHoldsTheWindow) {
    PanelTestWindow app;
    dozo::frmMain& w = app.window();
    app.tick();
    QPushButton* run = control<QPushButton>(w, "cmdVovEnc");
    ASSERT_FALSE(run->isEnabled());
    bool enabledDuringRun = true;
    bool timerActiveDuringRun = true;
    w.longRun().run([&](dozo::LongRun::Progress& progress) {
        progress.post([&] {
            control<QListWidget>(w, "lstVov")->addItem(QStringLiteral("/added"));
            app.tick();
            QApplication::processEvents();
            enabledDuringRun = run->isEnabled();
            timerActiveDuringRun = w.Tmr()->isActive();
        });
    });
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_FALSE(timerActiveDuringRun);
    app.tick();
    EXPECT_TRUE(run->isEnabled());
}

}  // namespace
