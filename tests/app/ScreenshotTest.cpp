// Not a test: writes docs/screenshots/tab0.png ... tab3.png, running.png and
// file-dialog-ja.png. Disabled by
// default; regenerate with
//   build/default/tests/app_tests --gtest_also_run_disabled_tests --gtest_filter="*AppScreenshots*"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/shell/QtUiServices.h"
#include "app/window/frmMain.h"
#include "build_tree.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    // A password typed, so the picture shows it masked beside its toggle.
    if (auto* pass = window.findChild<QLineEdit*>(QStringLiteral("PASS")))
        QTest::keyClicks(pass, QStringLiteral("correct horse"));
    // Let the enablement tick run so the pictures show the real button states.
    QTest::qWait(50);
    const QDir out(QString::fromStdString(dozo::test::inSourceTree("docs/screenshots")));
    ASSERT_TRUE(out.exists());
    for (int tab = 0; tab < window.SSTab1()->count(); ++tab) {
        window.SSTab1()->setCurrentIndex(tab);
        const QString file = out.filePath(QStringLiteral("tab%1.png").arg(tab));
        EXPECT_TRUE(window.grab().save(file)) << file.toStdString();
    }
}

// The transform tab during a run: the bar part way, the cancel button shown.
// The run is held inside its third file by a lock until the picture is taken.
TEST(DISABLED_AppScreenshots, WriteARunningJob) {
    TestFolders folders;
    const QString built = TestFolders::builtLibrary("Rozu32");
    if (built.isEmpty()) GTEST_SKIP() << "Rozu32 is not built";
    ASSERT_TRUE(QFile::copy(built, folders.systemDir() + "/" + QFileInfo(built).fileName()));
    QTemporaryDir files;
    QStringList paths;
    for (const char* name :
         {"報告書.txt", "写真 2026.jpg", "予算.xlsx", "議事録.docx", "名簿.csv"}) {
        paths.append(files.filePath(QString::fromUtf8(name)));
        QFile file(paths.last());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    ScriptedUiServices ui;
    ui.answerMessage(dozo::UiServices::Answer::Ok);
    dozo::frmMain window(folders.options(), &ui);
    window.show();
    window.SSTab1()->setCurrentIndex(2);
    window.findChild<QListWidget*>(QStringLiteral("IFN"))->addItems(paths);
    QTest::qWait(50);
    const int held = ::open(QFile::encodeName(paths[2]).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    auto* bar = window.findChild<QProgressBar*>(QStringLiteral("Prg1"));
    const QString file =
        QString::fromStdString(dozo::test::inSourceTree("docs/screenshots/running.png"));
    bool saved = false;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (value != 2) return;
        QTest::qWait(50);
        saved = window.grab().save(file);
        ::close(held);
    });
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdEnc")), Qt::LeftButton);
    EXPECT_TRUE(saved) << file.toStdString();
}

// The open dialog as the package panel's Browse shows it, in a folder with
// Japanese names, to show that Qt's own texts are Japanese too.
TEST(DISABLED_AppScreenshots, WriteTheFileDialog) {
    QTemporaryDir folder;
    for (const char* name : {"報告書.txt", "写真 2026.jpg", "予算.xlsx"}) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QWidget owner;
    owner.resize(640, 480);
    owner.show();
    dozo::QtUiServices ui(&owner);
    const QString file =
        QString::fromStdString(dozo::test::inSourceTree("docs/screenshots/file-dialog-ja.png"));
    bool saved = false;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->resize(640, 400);
            QTest::qWait(200);
            saved = dialog->grab().save(file);
            dialog->reject();
        },
        Qt::QueuedConnection);
    ui.openFileDialog(QStringLiteral("暗号化するファイル"),
                      QStringLiteral("全てのファイル (*.*)|*.*"),
                      folder.filePath(QStringLiteral("報告書.txt")));
    EXPECT_TRUE(saved) << file.toStdString();
}

}  // namespace
