// The settings dialog, offscreen: found by object names, changed, accepted or
// cancelled; what it saves decides the next pack and extraction.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <thread>

#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

// Runs the dialog with `act` applied to it once it is showing.
int withDialog(const std::function<void(QDialog&)>& act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no modal dialog";
            return;
        }
        act(*dialog);
    });
    char options[1] = {'\0'};
    return library().configDialog(nullptr, options, 0);
}

TEST(ConfigDialog, WithoutQApplicationReportsAnError) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    ConfigHome config;
    char options[1] = {'\0'};
    EXPECT_EQ(library().configDialog(nullptr, options, 0), UNLHA_ERROR_NO_GUI);
    EXPECT_FALSE(fs::exists(config.settingsFile()));
}

TEST(ConfigDialog, SavedChoiceDrivesTheNextCommands) {
    int argc = 1;
    char name[] = "unlha32_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ConfigHome config;
    TempDir dir;

    const int accepted = withDialog([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("UNLHA32.DLLの設定"));
        auto* method = dialog.findChild<QComboBox*>("method");
        auto* overwrite = dialog.findChild<QCheckBox*>("overwrite");
        auto* buttons = dialog.findChild<QDialogButtonBox*>("buttons");
        if (method == nullptr || overwrite == nullptr || buttons == nullptr) {
            ADD_FAILURE() << "missing widgets";
            dialog.reject();
            return;
        }
        EXPECT_EQ(method->currentText(), QStringLiteral("-lh5-"));
        EXPECT_FALSE(overwrite->isChecked());
        EXPECT_EQ(overwrite->text(), QStringLiteral("展開時に既存のファイルを上書きする"));
        method->setCurrentIndex(method->findText(QStringLiteral("-lh7-")));
        overwrite->setChecked(true);
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(accepted, UNLHA_OK);
    const std::string saved = readText(config.settingsFile());
    EXPECT_NE(saved.find("method=lh7"), std::string::npos) << saved;
    EXPECT_NE(saved.find("overwrite=true"), std::string::npos) << saved;

    writeBytes(dir / "text.txt", sampleText(40000, 8));
    ASSERT_EQ(run("u -a1 " + arg(dir / "a.lzh") + " " + arg(dir / "text.txt")).code, UNLHA_OK);
    EXPECT_EQ(firstMethod(dir / "a.lzh"), "-lh7-");
    // Overwriting is on now: extracting over a changed copy restores it.
    fs::create_directories(dir / "x");
    writeText(dir / "x" / "text.txt", "changed");
    EXPECT_EQ(run("x -a1 " + arg(dir / "a.lzh") + " " + arg(dir / "x")).code, UNLHA_OK);
    EXPECT_EQ(readBytes(dir / "x" / "text.txt"), readBytes(dir / "text.txt"));

    // The dialog opens with what was saved; cancelling changes nothing.
    const int cancelled = withDialog([](QDialog& dialog) {
        auto* method = dialog.findChild<QComboBox*>("method");
        auto* overwrite = dialog.findChild<QCheckBox*>("overwrite");
        if (method != nullptr && overwrite != nullptr) {
            EXPECT_EQ(method->currentText(), QStringLiteral("-lh7-"));
            EXPECT_TRUE(overwrite->isChecked());
            method->setCurrentIndex(0);
            overwrite->setChecked(false);
        }
        dialog.reject();
    });
    EXPECT_EQ(cancelled, UNLHA_CANCELLED);
    EXPECT_EQ(readText(config.settingsFile()), saved);
}

TEST(ConfigDialog, WorkerThreadCallShowsTheDialogOnTheGuiThread) {
    // The application runs library calls off its window thread.
    int argc = 1;
    char name[] = "unlha32_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ConfigHome config;

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        poll.stop();
        EXPECT_EQ(dialog->thread(), QApplication::instance()->thread());
        if (auto* overwrite = dialog->findChild<QCheckBox*>("overwrite"))
            overwrite->setChecked(true);
        dialog->accept();
    });
    poll.start(1);

    int result = -1;
    std::thread worker([&result, &app] {
        char options[1] = {'\0'};
        result = library().configDialog(nullptr, options, 0);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    worker.join();
    EXPECT_EQ(result, UNLHA_OK);
    EXPECT_NE(readText(config.settingsFile()).find("overwrite=true"), std::string::npos);
}

}  // namespace
}  // namespace unlhatest
