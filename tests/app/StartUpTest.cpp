// Start-up with each library present in the system directory, only in the
// application directory, absent, or present but broken: the state it
// records and the controls it enables.
#include "Controls.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/panels/KeyedPanel.h"
#include "app/panels/TransformPanel.h"
#include "app/window/frmMain.h"
#include "build_tree.h"
#include "core/startup/VersionText.h"

#include <terminal.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>

namespace {

using Place = TestFolders::Place;
using Variant = TestFolders::Variant;

enum class Lib { Unlha, Rozu, Vod };

struct StartUpCase {
    const char* name;
    Lib lib;
    std::optional<Variant> variant;  // nullopt: not installed
    Place place;
    const char* rawVersion;  // what the library answers
    bool present;
    std::int32_t version;
    const char* versionText;
    const char* stderrMentions;  // part of the reason printed for a broken library
};

const char* libName(Lib lib) {
    return lib == Lib::Unlha ? "unlha32" : lib == Lib::Rozu ? "Rozu32" : "Vod32";
}

void PrintTo(const StartUpCase& c, std::ostream* os) {
    *os << c.name;
}

// Each library answers its version call with what the test sets here.
const char* const kFakeVersions[] = {"DOZO_FAKE_UNLHA_VERSION", "DOZO_FAKE_RAZU_VERSION",
                                     "DOZO_FAKE_VOV_VERSION"};

class AppStartUp : public testing::TestWithParam<StartUpCase> {
protected:
    void TearDown() override {
        for (const char* name : kFakeVersions) qunsetenv(name);
    }
};

TEST_P(AppStartUp, RecordsPresenceVersionAndEnablesItsCommands) {
    const StartUpCase& c = GetParam();
    TestFolders folders;
    if (c.variant) folders.install(libName(c.lib), *c.variant, c.place);
    for (const char* name : kFakeVersions) qputenv(name, c.rawVersion);

    ScriptedUiServices ui;  // start-up shows no message, missing library or not
    testing::internal::CaptureStderr();
    dozo::frmMain window(folders.options(), &ui);
    const std::string err = testing::internal::GetCapturedStderr();
    const dozo::WindowState& s = window.state();
    dozo::MainMenu& menu = window.menu();

    EXPECT_EQ(s.SysDir, folders.systemDir() + "/");
    EXPECT_EQ(s.ET, 0);
    const std::uint8_t flag = c.present ? 255 : 0;
    const std::int32_t version = c.present ? c.version : 0;
    const std::string text = c.present ? c.versionText : "";

    // The library under test...
    switch (c.lib) {
        case Lib::Unlha:
            EXPECT_EQ(s.LHAEx, flag);
            EXPECT_EQ(s.UNLHAVer, version);
            EXPECT_EQ(s.UNLHAV.toStdString(), text);
            EXPECT_EQ(menu.mnuLHASet->isEnabled(), c.present);
            EXPECT_EQ(menu.mnuLHAVer->isEnabled(), c.present);
            break;
        case Lib::Rozu:
            EXPECT_EQ(s.RazuEx, flag);
            EXPECT_EQ(s.RazuVer, version);
            EXPECT_EQ(s.RazuV.toStdString(), text);
            EXPECT_EQ(menu.mnuRazuVer->isEnabled(), c.present);
            EXPECT_EQ(control<QGroupBox>(window, "Frame1")->isEnabled(), c.present);
            // The frame takes its options with it, never the list or buttons.
            EXPECT_EQ(
                control<QRadioButton>(window, QStringLiteral("EncType_%1").arg(6))->isEnabled(),
                c.present);
            EXPECT_TRUE(control<QListWidget>(window, "IFN")->isEnabled());
            EXPECT_TRUE(control<QPushButton>(window, "BR2")->isEnabled());
            break;
        case Lib::Vod:
            EXPECT_EQ(s.VovEx, flag);
            EXPECT_EQ(s.VovVer, version);
            EXPECT_EQ(s.VovV.toStdString(), text);
            EXPECT_EQ(menu.mnuVovVer->isEnabled(), c.present);
            EXPECT_EQ(control<QGroupBox>(window, "Frame2")->isEnabled(), c.present);
            EXPECT_EQ(
                control<QRadioButton>(window, QStringLiteral("VovType_%1").arg(0))->isEnabled(),
                c.present);
            EXPECT_TRUE(control<QListWidget>(window, "lstVov")->isEnabled());
            EXPECT_TRUE(control<QLineEdit>(window, "txtKey")->isEnabled());
            break;
    }
    // ...and the two that were not installed.
    if (c.lib != Lib::Unlha) {
        EXPECT_EQ(s.LHAEx, 0);
        EXPECT_FALSE(menu.mnuLHAVer->isEnabled());
    }
    if (c.lib != Lib::Rozu) {
        EXPECT_EQ(s.RazuEx, 0);
        EXPECT_TRUE(s.RazuV.isEmpty());
    }
    if (c.lib != Lib::Vod) {
        EXPECT_EQ(s.VovEx, 0);
        EXPECT_FALSE(menu.mnuVovVer->isEnabled());
    }
    if (c.stderrMentions) {
        EXPECT_NE(err.find(c.stderrMentions), std::string::npos) << err;
    }
    // Whatever start-up found, the other menu items stay as defined.
    EXPECT_TRUE(menu.mnuAbout->isEnabled());
    EXPECT_TRUE(menu.mnuEncryption->isEnabled());
    EXPECT_EQ(window.windowTitle().toStdString(), "Vuvurazir V2.20");
}

const auto kNone = std::optional<Variant>{};

INSTANTIATE_TEST_SUITE_P(
    Libraries, AppStartUp,
    testing::Values(
        StartUpCase{"UnlhaInSystem", Lib::Unlha, Variant::Good, Place::System, "267", true, 267,
                    "2.67", nullptr},
        // Only the low 16 bits of the archiver's answer count.
        StartUpCase{"UnlhaWidenedFrom16Bits", Lib::Unlha, Variant::Good, Place::System, "0x1010B",
                    true, 267, "2.67", nullptr},
        StartUpCase{"UnlhaOnlyInApplicationDir", Lib::Unlha, Variant::Good, Place::Application,
                    "267", false, 0, "", nullptr},
        StartUpCase{"UnlhaAbsent", Lib::Unlha, kNone, Place::System, "267", false, 0, "", nullptr},
        StartUpCase{"UnlhaWithoutExport", Lib::Unlha, Variant::NoExport, Place::System, "267",
                    false, 0, "", "UnlhaGetVersion"},
        StartUpCase{"UnlhaNotALibrary", Lib::Unlha, Variant::NotElf, Place::System, "267", false, 0,
                    "", "libunlha32.so"},
        StartUpCase{"RozuInSystem", Lib::Rozu, Variant::Good, Place::System, "111", true, 111,
                    "1.11", nullptr},
        StartUpCase{"RozuOnlyInApplicationDir", Lib::Rozu, Variant::Good, Place::Application,
                    "1234", true, 1234, "12.34", nullptr},
        StartUpCase{"RozuNegativeAfterWidening", Lib::Rozu, Variant::Good, Place::System, "0x2FFFF",
                    true, -1, "-0.01", nullptr},
        StartUpCase{"RozuAbsent", Lib::Rozu, kNone, Place::System, "111", false, 0, "", nullptr},
        StartUpCase{"RozuWithoutExport", Lib::Rozu, Variant::NoExport, Place::Application, "111",
                    false, 0, "", "RazuGetVersion"},
        StartUpCase{"RozuUnresolvedSymbol", Lib::Rozu, Variant::Unresolved, Place::System, "111",
                    false, 0, "", "dozoTestSymbolThatDoesNotExist"},
        StartUpCase{"RozuNotALibrary", Lib::Rozu, Variant::NotElf, Place::Application, "111", false,
                    0, "", "libRozu32.so"},
        StartUpCase{"VodInSystem", Lib::Vod, Variant::Good, Place::System, "101", true, 101, "1.01",
                    nullptr},
        // The keyed library's answer is taken whole, all 32 bits.
        StartUpCase{"VodOnlyInApplicationDirFull32Bits", Lib::Vod, Variant::Good,
                    Place::Application, "0x1006F", true, 65647, "656.47", nullptr},
        StartUpCase{"VodAbsent", Lib::Vod, kNone, Place::System, "101", false, 0, "", nullptr},
        StartUpCase{"VodWithoutExport", Lib::Vod, Variant::NoExport, Place::System, "101", false, 0,
                    "", "VovGetVersion"},
        StartUpCase{"VodNotALibrary", Lib::Vod, Variant::NotElf, Place::System, "101", false, 0, "",
                    "libVod32.so"}),
    [](const testing::TestParamInfo<StartUpCase>& test) { return std::string(test.param.name); });

// The libraries this project builds, found where an installed program finds
// them: the system directory.
TEST(AppStartUpWithBuiltLibraries, FindsTheRealLibrariesAndTheirVersions) {
    const QString rozu = TestFolders::builtLibrary("Rozu32");
    const QString vod = TestFolders::builtLibrary("Vod32");
    const QString unlha = TestFolders::builtLibrary("unlha32");
    if (rozu.isEmpty() && vod.isEmpty() && unlha.isEmpty()) {
        GTEST_SKIP() << "none of the project's libraries is built";
    }
    TestFolders folders;
    for (const QString& path : {rozu, vod, unlha}) {
        if (!path.isEmpty()) {
            ASSERT_TRUE(QFile::copy(path, folders.systemDir() + "/" + QFileInfo(path).fileName()));
        }
    }
    ScriptedUiServices ui;
    dozo::frmMain window(folders.options(), &ui);
    const dozo::WindowState& s = window.state();
    if (!rozu.isEmpty()) {
        EXPECT_EQ(s.RazuEx, 255);
        EXPECT_EQ(s.RazuVer, 111);
        EXPECT_EQ(s.RazuV.toStdString(), "1.11");
        EXPECT_TRUE(window.menu().mnuRazuVer->isEnabled());
    }
    if (!vod.isEmpty()) {
        EXPECT_EQ(s.VovEx, 255);
        EXPECT_EQ(s.VovVer, 101);
        EXPECT_EQ(s.VovV.toStdString(), "1.01");
        EXPECT_TRUE(control<QGroupBox>(window, "Frame2")->isEnabled());
    }
    if (!unlha.isEmpty()) {
        EXPECT_EQ(s.LHAEx, 255);
        EXPECT_NE(s.UNLHAVer, 0);
        EXPECT_EQ(s.UNLHAV, dozo::versionText(s.UNLHAVer));
    }
}

// With no library anywhere the install itself is broken: start-up says so
// once on stderr, naming the folder it searched. One library found anywhere
// is enough to stay quiet; each absent one shows on its own controls.
struct SearchReportCase {
    const char* name;
    const char* library;  // nullptr: none installed
    Variant variant;
    Place place;
};

void PrintTo(const SearchReportCase& c, std::ostream* os) {
    *os << c.name;
}

class AppStartUpSearchReport : public testing::TestWithParam<SearchReportCase> {};

TEST_P(AppStartUpSearchReport, NamesTheSearchedFolderOnlyWhenNothingIsThere) {
    const SearchReportCase& c = GetParam();
    TestFolders folders;
    if (c.library) folders.install(c.library, c.variant, c.place);
    ScriptedUiServices ui;
    testing::internal::CaptureStderr();
    dozo::frmMain window(folders.options(), &ui);
    const std::string err = testing::internal::GetCapturedStderr();

    const std::string line =
        "dozo: no library found in " + (folders.systemDir() + "/").toStdString() + "\n";
    std::size_t count = 0;
    for (auto at = err.find(line); at != std::string::npos; at = err.find(line, at + 1)) ++count;
    EXPECT_EQ(count, c.library ? 0u : 1u) << err;
    EXPECT_TRUE(ui.calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Folders, AppStartUpSearchReport,
    testing::Values(
        SearchReportCase{"NothingInstalled", nullptr, Variant::Good, Place::System},
        SearchReportCase{"OneInSystem", "Vod32", Variant::Good, Place::System},
        SearchReportCase{"OneInApplicationDir", "Rozu32", Variant::Good, Place::Application},
        // Bound only when a package is made, but still part of the install.
        SearchReportCase{"OnlyThePackageLibrary", "rivo", Variant::NotElf, Place::System}),
    [](const testing::TestParamInfo<SearchReportCase>& test) {
        return std::string(test.param.name);
    });

}  // namespace

namespace {

// The window is where passwords are typed: from its start it cannot leave a
// core dump and no other process of its user may read its memory, which the
// kernel shows as /proc/PID/status belonging to root. So the program runs as
// a user other than root here.
TEST(AppStartUp, TheProgramCannotBeDumpedOrPeekedAt) {
    const std::string built = dozo::test::inBuildTree(DOZO_WINDOW_PATH);
    std::vector<std::string> argv{built};
    if (::geteuid() == 0) {
        if (!QFile::exists(QStringLiteral("/usr/bin/setpriv"))) GTEST_SKIP() << "no setpriv";
        argv.insert(argv.begin(),
                    {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    std::vector<std::string> env = dozo::test::environmentWithout({"DISPLAY", "WAYLAND_DISPLAY"});
    env.push_back("QT_QPA_PLATFORM=offscreen");
    dozo::test::TerminalSession window(argv, env);
    const std::string proc = "/proc/" + std::to_string(window.pid);
    const QString program = QFileInfo(QString::fromStdString(built)).canonicalFilePath();
    // The program marks itself first thing; the wait only covers its exec
    // (before it, the process is this test's child, or setpriv).
    bool marked = false;
    for (int i = 0; i < 200 && !marked; ++i) {
        struct stat st {};
        ASSERT_EQ(::stat((proc + "/status").c_str(), &st), 0) << "the window ended";
        // Run by root, the process belongs to root until setpriv is done.
        marked = st.st_uid == 0 &&
                 (::geteuid() != 0 ||
                  QFileInfo(QString::fromStdString(proc + "/exe")).symLinkTarget() == program);
        if (!marked) ::usleep(50'000);
    }
    EXPECT_TRUE(marked);
}

}  // namespace
