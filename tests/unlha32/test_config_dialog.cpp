// The settings dialog, offscreen: found by object names, changed, accepted or
// cancelled; what it saves decides the next pack and extraction. It is a
// library of its own that only UnlhaConfigDialog loads, from the folder of
// libunlha32 itself: the commands never map Qt's GUI into their process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "library.h"
#include "loaded_library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

// Runs the dialog with `act` applied to it once it is showing; a message box
// shown afterwards is accepted, its text kept in `message`.
int withDialog(const std::function<void(QDialog&)>& act, QString* message = nullptr) {
    bool acted = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (message != nullptr) *message = box->text();
            box->accept();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal); dialog != nullptr && !acted) {
            acted = true;
            act(*dialog);
        }
    });
    answer.start(1);
    char options[1] = {'\0'};
    const int code = library().configDialog(nullptr, options, 0);
    EXPECT_TRUE(acted) << "no modal dialog";
    return code;
}

// The QApplication of a host program, for the length of a test.
struct GuiApplication {
    int argc = 1;
    char name[14] = "unlha32_tests";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

TEST(ConfigDialog, WithoutQApplicationReportsAnError) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    ConfigHome config;
    char options[1] = {'\0'};
    EXPECT_EQ(library().configDialog(nullptr, options, 0), UNLHA_ERROR_NO_GUI);
    EXPECT_FALSE(fs::exists(config.settingsFile()));
}

TEST(ConfigDialog, SavedChoiceDrivesTheNextCommands) {
    const GuiApplication app;
    ConfigHome config;
    TempDir dir;

    const int accepted = withDialog([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("UNLHA32.DLLの設定"));
        auto* method = dialog.findChild<QComboBox*>("method");
        auto* level = dialog.findChild<QComboBox*>("level");
        auto* overwrite = dialog.findChild<QCheckBox*>("overwrite");
        auto* buttons = dialog.findChild<QDialogButtonBox*>("buttons");
        if (method == nullptr || level == nullptr || overwrite == nullptr || buttons == nullptr) {
            ADD_FAILURE() << "missing widgets";
            dialog.reject();
            return;
        }
        EXPECT_EQ(method->currentText(), QStringLiteral("-lh5-"));
        EXPECT_EQ(level->currentText(), QStringLiteral("標準"));
        EXPECT_FALSE(overwrite->isChecked());
        EXPECT_EQ(overwrite->text(), QStringLiteral("展開時に既存のファイルを上書きする"));
        method->setCurrentIndex(method->findText(QStringLiteral("-lh7-")));
        level->setCurrentIndex(level->findText(QStringLiteral("最大")));
        overwrite->setChecked(true);
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(accepted, UNLHA_OK);
    const std::string saved = readText(config.settingsFile());
    EXPECT_NE(saved.find("method=lh7"), std::string::npos) << saved;
    EXPECT_NE(saved.find("level=max"), std::string::npos) << saved;
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
        auto* level = dialog.findChild<QComboBox*>("level");
        auto* overwrite = dialog.findChild<QCheckBox*>("overwrite");
        if (method != nullptr && level != nullptr && overwrite != nullptr) {
            EXPECT_EQ(method->currentText(), QStringLiteral("-lh7-"));
            EXPECT_EQ(level->currentText(), QStringLiteral("最大"));
            EXPECT_TRUE(overwrite->isChecked());
            method->setCurrentIndex(0);
            level->setCurrentIndex(0);
            overwrite->setChecked(false);
        }
        dialog.reject();
    });
    EXPECT_EQ(cancelled, UNLHA_CANCELLED);
    EXPECT_EQ(readText(config.settingsFile()), saved);
}

TEST(ConfigDialog, WorkerThreadCallShowsTheDialogOnTheGuiThread) {
    // The application runs library calls off its window thread.
    GuiApplication gui;
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
    std::thread worker([&result, &gui] {
        char options[1] = {'\0'};
        result = library().configDialog(nullptr, options, 0);
        QMetaObject::invokeMethod(&gui.app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    gui.app.exec();
    worker.join();
    EXPECT_EQ(result, UNLHA_OK);
    EXPECT_NE(readText(config.settingsFile()).find("overwrite=true"), std::string::npos);
}

// Saving writes only where the settings belong to the user saving them. Run
// as root with another user's HOME (sudo -E), the folder is that user's, and
// a link planted there had root replace what it points at with the settings.
// A link of the user's own (a dotfile manager's) is still written through.
TEST(ConfigDialog, SavesOnlyIntoTheUsersOwnSettings) {
    const GuiApplication app;
    const struct {
        const char* what;
        bool link;          // the settings file links to a file of ours elsewhere
        bool othersFolder;  // the folder and link are nobody's: not saved
    } cases[] = {
        {"another user's folder", false, true},
        {"a link another user planted in their folder", true, true},
        {"a link of our own to a file of our own", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.othersFolder && ::geteuid() != 0) continue;  // needs root to give files away
        ConfigHome config;
        TempDir elsewhere;
        const fs::path folder = config.settingsFile().parent_path();
        const fs::path file = elsewhere / "kept.txt";
        fs::create_directories(folder);
        writeText(file, "not settings\n");
        if (c.link) fs::create_symlink(file, config.settingsFile());
        if (c.othersFolder) {
            for (const fs::path& given : {config.settingsFile(), folder}) {
                if (!fs::exists(fs::symlink_status(given))) continue;
                ASSERT_EQ(::lchown(given.c_str(), 65534, static_cast<gid_t>(-1)), 0) << given;
            }
        }

        QString message;
        const int code = withDialog(
            [](QDialog& dialog) {
                dialog.findChild<QCheckBox*>("overwrite")->setChecked(true);
                dialog.accept();
            },
            &message);

        EXPECT_EQ(code, c.othersFolder ? UNLHA_ERROR_SETTINGS : UNLHA_OK);
        EXPECT_EQ(readText(file).find("overwrite=true") != std::string::npos, !c.othersFolder);
        if (!c.othersFolder) {
            EXPECT_TRUE(fs::is_symlink(config.settingsFile()));
            continue;
        }
        EXPECT_TRUE(message.contains(QString::fromStdString(config.settingsFile().string())))
            << message.toStdString();
        EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(config.settingsFile())));
    }
}

// The shared objects a child had mapped after its call (full paths).
std::set<std::string> mappedFiles(const fs::path& maps) {
    std::set<std::string> files;
    std::istringstream in(readText(maps));
    for (std::string line; std::getline(in, line);) {
        const auto slash = line.find(" /");
        if (slash != std::string::npos) files.insert(line.substr(slash + 1));
    }
    return files;
}

bool mapsAny(const std::set<std::string>& files, const std::string& part) {
    for (const std::string& file : files)
        if (file.find(part) != std::string::npos) return true;
    return false;
}

fs::path dialogLibrary() {
    return fs::path(libraryPath()).parent_path() / "libunlha32_settings.so";
}

TEST(DialogLibrary, CommandsMapNoQt) {
    TempDir dir;
    ConfigHome config;
    const std::string seed = arg(testData("seed-lh5.lzh"));
    writeText(dir / "a.txt", "a");
    for (const std::string& command :
         {"l -a1 " + seed, "t -a1 " + seed, "x -a1 " + seed + " " + arg(dir / "out"),
          "u -a1 " + arg(dir / "a.lzh") + " " + arg(dir / "a.txt"),
          "--check " + testData("seed-lh5.lzh").string()}) {
        Alone how;
        how.mapsFile = (dir / "maps").string();
        const Child child = runAlone(command, how);
        EXPECT_EQ(child.code, UNLHA_OK) << command << ": " << child.output;
        const std::set<std::string> mapped = mappedFiles(dir / "maps");
        EXPECT_TRUE(mapped.count(fs::canonical(libraryPath()).string())) << command;
        EXPECT_FALSE(mapsAny(mapped, "libQt6")) << command;
        EXPECT_FALSE(mapsAny(mapped, "libunlha32_settings")) << command;
    }
}

TEST(DialogLibrary, LoadedFromTheArchiversOwnFolderBySettingsAlone) {
    TempDir dir;
    ConfigHome config;
    // Through a link elsewhere too: the dialog sits beside the file itself.
    fs::create_directories(dir / "linked");
    fs::create_symlink(libraryPath(), dir / "linked" / "libunlha32.so");
    for (const fs::path& library : {fs::path(libraryPath()), dir / "linked" / "libunlha32.so"}) {
        Alone how;
        how.library = library.string();
        how.mapsFile = (dir / "maps").string();
        const Child child = runAlone("--config", how);
        // No QApplication in that process: the dialog library says so itself.
        EXPECT_EQ(child.code, UNLHA_ERROR_NO_GUI) << library;
        EXPECT_EQ(child.errors, "");
        EXPECT_TRUE(mappedFiles(dir / "maps").count(fs::canonical(dialogLibrary()).string()))
            << library;
    }
    EXPECT_FALSE(fs::exists(config.settingsFile()));
}

// Missing beside the archiver, or there but cut short (a copy that stopped
// midway, which mapped would kill the caller with SIGBUS), the dialog library
// is a result, and the archiver works on without it.
TEST(DialogLibrary, MissingOrCutShortIsAResultNotACrash) {
    const struct {
        const char* what;
        std::uintmax_t kept;  // bytes of the dialog library beside the archiver
    } cases[] = {
        {"missing", 0},
        {"its headers only", 3000},
        {"cut in its code", 20000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The dialog library also sits on the search path, where a load by
        // bare name would find it.
        TempDir dir;
        ConfigHome config;
        fs::copy_file(libraryPath(), dir / "libunlha32.so");
        if (c.kept != 0) {
            fs::copy_file(dialogLibrary(), dir / "libunlha32_settings.so");
            fs::resize_file(dir / "libunlha32_settings.so", c.kept);
        }
        Alone how;
        how.library = (dir / "libunlha32.so").string();
        how.environment = "LD_LIBRARY_PATH=" + arg(dialogLibrary().parent_path());
        how.mapsFile = (dir / "maps").string();
        const Child child = runAlone("--config", how);
        EXPECT_EQ(child.code, UNLHA_ERROR_NO_DIALOG) << child.errors;
        EXPECT_EQ(child.errors, "");
        EXPECT_FALSE(mapsAny(mappedFiles(dir / "maps"), "libunlha32_settings"));
        EXPECT_EQ(runAlone("l -a1 " + arg(testData("seed-lh5.lzh")), how).code, UNLHA_OK);
    }
}

TEST(DialogLibrary, ExportsItsEntryAlone) {
    EXPECT_EQ(dozo::test::exportedSymbols(dialogLibrary().string()),
              std::set<std::string>{"UnlhaSettingsDialog"});
}

}  // namespace
}  // namespace unlhatest
