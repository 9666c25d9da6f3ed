// The menu items of the main window that belong to no panel: the three
// version boxes, the archiver's settings and Read Me.
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/window/frmMain.h"
#include "build_tree.h"
#include "core/libraries/Library.h"
#include "core/startup/AppDirectories.h"
#include "core/startup/VersionBox.h"
#include "core/startup/VersionText.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>

namespace {

using Kind = ScriptedUiServices::Kind;
using Answer = dozo::UiServices::Answer;

TEST(VersionBoxText, JoinsNameFullWidthHyphenAndVersion) {
    const QString text = dozo::VersionBox::textFor("UNLHA32.DLL", dozo::versionText(267));
    EXPECT_EQ(text.toStdString(), "UNLHA32.DLL \xEF\xBC\x8D Ver 2.67");
    EXPECT_EQ(text.mid(11, 3), QString(QStringLiteral(" ") + QChar(0xFF0D) + " "));
}

// Each version item of the running window, with all three stand-in
// libraries installed and answering their own versions.
struct VersionItemCase {
    const char* name;
    QAction* dozo::MainMenu::*item;
    const char* text;
    const char* title;
};

class VersionItems : public testing::TestWithParam<VersionItemCase> {
protected:
    void SetUp() override {
        qputenv("DOZO_FAKE_UNLHA_VERSION", "267");
        qputenv("DOZO_FAKE_RAZU_VERSION", "111");
        qputenv("DOZO_FAKE_VOV_VERSION", "1234");
        folders.install("unlha32", TestFolders::Variant::Good, TestFolders::Place::System);
        folders.install("Rozu32", TestFolders::Variant::Good, TestFolders::Place::System);
        folders.install("Vod32", TestFolders::Variant::Good, TestFolders::Place::System);
    }
    void TearDown() override {
        qunsetenv("DOZO_FAKE_UNLHA_VERSION");
        qunsetenv("DOZO_FAKE_RAZU_VERSION");
        qunsetenv("DOZO_FAKE_VOV_VERSION");
    }

    TestFolders folders;
    ScriptedUiServices ui;
};

TEST_P(VersionItems, ShowPlainBoxWithNameAndVersion) {
    const VersionItemCase& c = GetParam();
    dozo::frmMain window(folders.options(), &ui);
    QAction* item = window.menu().*c.item;
    ASSERT_TRUE(item->isEnabled());
    ui.answerMessage(Answer::Ok);

    item->trigger();

    ASSERT_EQ(ui.calls().size(), 1u);
    const auto& call = ui.calls().front();
    EXPECT_EQ(call.kind, Kind::MessageBox);
    EXPECT_EQ(call.text.toStdString(), c.text);
    EXPECT_EQ(call.title.toStdString(), c.title);
    EXPECT_EQ(call.buttons, dozo::UiServices::Buttons::Ok);
    EXPECT_EQ(call.icon, dozo::UiServices::Icon::None);
}

INSTANTIATE_TEST_SUITE_P(Items, VersionItems,
                         testing::Values(VersionItemCase{"Archiver", &dozo::MainMenu::mnuLHAVer,
                                                         "UNLHA32.DLL \xEF\xBC\x8D Ver 2.67",
                                                         "UNLHA32.DLLのバージョン情報"},
                                         VersionItemCase{"Transform", &dozo::MainMenu::mnuRazuVer,
                                                         "Rozu32.DLL \xEF\xBC\x8D Ver 1.11",
                                                         "Rozu32.DLLのバージョン情報"},
                                         VersionItemCase{"Keyed", &dozo::MainMenu::mnuVovVer,
                                                         "Vod32.DLL \xEF\xBC\x8D Ver 12.34",
                                                         "Vod32.DLLのバージョン情報"}),
                         [](const testing::TestParamInfo<VersionItemCase>& test) {
                             return std::string(test.param.name);
                         });

struct FakeConfigCall {
    int count;
    void* owner;
    bool optionsGiven;
    char options[64];
    int mode;
};

TEST(ArchiverSettings, CallsConfigDialogWithWindowEmptyOptionsAndModeZero) {
    TestFolders folders;
    const QString source = QDir(QString::fromStdString(dozo::test::inBuildTree(DOZO_TEST_LIBS)))
                               .filePath("config/" + dozo::Library::fileNameFor("unlha32"));
    ASSERT_TRUE(
        QFile::copy(source, folders.systemDir() + "/" + dozo::Library::fileNameFor("unlha32")))
        << source.toStdString();
    ScriptedUiServices ui;  // the settings report nothing of their own
    dozo::frmMain window(folders.options(), &ui);
    ASSERT_TRUE(window.menu().mnuLHASet->isEnabled());
    using LastCallFn = const FakeConfigCall*();
    auto* lastCall = window.libraries().unlha32().function<LastCallFn>("DozoFakeConfigLastCall");
    ASSERT_NE(lastCall, nullptr);
    ASSERT_EQ(lastCall()->count, 0);

    window.menu().mnuLHASet->trigger();

    const FakeConfigCall& call = *lastCall();
    EXPECT_EQ(call.count, 1);
    EXPECT_EQ(call.owner, static_cast<void*>(static_cast<QWidget*>(&window)));
    EXPECT_TRUE(call.optionsGiven);
    EXPECT_STREQ(call.options, "");
    EXPECT_EQ(call.mode, 0);
    EXPECT_TRUE(ui.calls().empty());
}

TEST(ArchiverSettings, ArchiverWithoutTheExportDoesNothing) {
    // The stand-in answers its version, so the item is enabled, but it has no
    // settings dialog to call.
    TestFolders folders;
    folders.install("unlha32", TestFolders::Variant::Good, TestFolders::Place::System);
    ScriptedUiServices ui;
    dozo::frmMain window(folders.options(), &ui);
    ASSERT_TRUE(window.menu().mnuLHASet->isEnabled());
    testing::internal::CaptureStderr();
    window.menu().mnuLHASet->trigger();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("UnlhaConfigDialog"), std::string::npos) << err;
    EXPECT_TRUE(ui.calls().empty());
}

// Read Me: the desktop's viewer when it opens the file, else the text in a
// read-only window of the program; a Read Me that is not there is an error.
struct ReadMeCase {
    const char* name;
    enum { File, Missing, Directory } present;
    bool viewerOpens;
};

class ReadMeItem : public testing::TestWithParam<ReadMeCase> {};

TEST_P(ReadMeItem, OpensInTheViewerOrInItsOwnWindowAndSaysWhenMissing) {
    const ReadMeCase& c = GetParam();
    TestFolders folders;
    const QString dataDir = dozo::AppDirectories::resolve(folders.applicationDir()).data;
    ASSERT_TRUE(QDir().mkpath(dataDir));
    const QString path = dataDir + "ReadMe.txt";
    const QString text = QStringLiteral("読んでください\n<b>not markup</b>\n");
    if (c.present == ReadMeCase::File) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    } else if (c.present == ReadMeCase::Directory) {
        ASSERT_TRUE(QDir().mkpath(path));
    }
    ScriptedUiServices ui;
    dozo::frmMain window(folders.options(), &ui);
    // Twice: the program's window is reused, not doubled.
    for (int i = 0; i < 2; ++i) {
        if (c.present == ReadMeCase::File) {
            ui.answerOpenDocument(c.viewerOpens);
        } else {
            ui.answerMessage(Answer::Ok);
        }
        window.menu().mnuReadMe->trigger();
    }

    ASSERT_EQ(ui.calls().size(), 2u);
    const auto& call = ui.calls().front();
    const QList<QPlainTextEdit*> shown = window.findChildren<QPlainTextEdit*>("ReadMeViewer");
    if (c.present != ReadMeCase::File) {
        EXPECT_EQ(call.kind, Kind::MessageBox);
        EXPECT_EQ(call.icon, dozo::UiServices::Icon::Error);
        EXPECT_TRUE(call.text.contains(path)) << call.text.toStdString();
        EXPECT_TRUE(shown.isEmpty());
        return;
    }
    EXPECT_EQ(call.kind, Kind::OpenDocument);
    EXPECT_EQ(call.text.toStdString(), path.toStdString());
    if (c.viewerOpens) {
        EXPECT_TRUE(shown.isEmpty());
        return;
    }
    ASSERT_EQ(shown.size(), 1);
    QPlainTextEdit* viewer = shown.front();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_TRUE(viewer->isReadOnly());
    EXPECT_EQ(viewer->toPlainText(), text);
    EXPECT_TRUE(viewer->windowTitle().startsWith(QStringLiteral("ReadMe.txt")));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadMeItem,
                         testing::Values(ReadMeCase{"Viewer", ReadMeCase::File, true},
                                         ReadMeCase{"NoViewer", ReadMeCase::File, false},
                                         ReadMeCase{"Missing", ReadMeCase::Missing, false},
                                         ReadMeCase{"Directory", ReadMeCase::Directory, false}),
                         [](const testing::TestParamInfo<ReadMeCase>& test) {
                             return std::string(test.param.name);
                         });

// The build tree holds the Read Me where the program looks for it.
TEST(ReadMeShipped, BesideTheBuiltProgramAndCoversEveryTab) {
    const QString bin = QString::fromStdString(dozo::test::inBuildTree("bin"));
    QFile built(dozo::AppDirectories::resolve(bin).data + "ReadMe.txt");
    QFile source(QString::fromStdString(dozo::test::inSourceTree("app/resources/ReadMe.txt")));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly)) << built.fileName().toStdString();
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray text = built.readAll();
    EXPECT_EQ(text, source.readAll());
    const QString readMe = QString::fromUtf8(text);
    for (const char* tab : {"RIVO暗号化", "複数ファイル圧縮", "Rozu32", "Zurozid", "Temp.$$$"}) {
        EXPECT_TRUE(readMe.contains(QString::fromUtf8(tab))) << tab;
    }
}

}  // namespace
