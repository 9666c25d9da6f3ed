// Not a test: writes docs/screenshots/tab0.png ... tab3.png. Disabled by
// default; regenerate with
//   build/default/tests/app_tests --gtest_also_run_disabled_tests --gtest_filter="*AppScreenshots*"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include <frmMain.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

TEST(DISABLED_AppScreenshots, WriteEveryTab) {
    TestFolders folders;
    for (const char* name : {"unlha32", "Rozu32", "Vod32"}) {
        const QString built = TestFolders::builtLibrary(name);
        if (built.isEmpty()) {
            folders.install(name, TestFolders::Variant::Good, TestFolders::Place::System);
        } else {
            ASSERT_TRUE(
                QFile::copy(built, folders.systemDir() + "/" + QFileInfo(built).fileName()));
        }
    }
    ScriptedUiServices ui;
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    // Let the enablement tick run so the pictures show the real button states.
    QTest::qWait(50);
    const QDir out(QStringLiteral(DOZO_SOURCE_DIR "/docs/screenshots"));
    ASSERT_TRUE(out.exists());
    for (int tab = 0; tab < window.SSTab1()->count(); ++tab) {
        window.SSTab1()->setCurrentIndex(tab);
        const QString file = out.filePath(QStringLiteral("tab%1.png").arg(tab));
        EXPECT_TRUE(window.grab().save(file)) << file.toStdString();
    }
}

}  // namespace
