// Where the window's file dialogs open: in the folder of the current target
// or list entry, else (an empty field or list) in the user's home, which the
// dialogs choose themselves (QtUiServicesTest).
#include "Controls.h"
#include "PanelTestWindow.h"

#include <gtest/gtest.h>

namespace {

using Kind = ScriptedUiServices::Kind;

TEST(AppDialogFolder, DialogsOpenWhereTheTargetOrTheCurrentEntryLies) {
    PanelTestWindow app(PanelTestWindow::Libraries{true, true, true});
    dozo::frmMain& w = app.window();
    ScriptedUiServices& ui = app.ui();
    control<QLineEdit>(w, "TFile")->setText("/data/in/target.bin");
    for (const char* name : {"IFN", "FL"}) {
        auto* list = control<QListWidget>(w, QLatin1String(name));
        list->addItems({"/first/a.txt", "/second/b.txt"});
        list->setCurrentRow(1);
    }
    app.tick();
    const QString archive = QStringLiteral("/archives/set.lzh");

    struct Row {
        const char* button;
        Kind kind;
        QString name, folder;  // the name proposed, the folder asked for
    };
    const Row rows[] = {
        {"BR", Kind::OpenFile, "/data/in/target.bin", ""},
        {"BR2", Kind::OpenFiles, "", "/second"},
        {"cmdVovAdd", Kind::OpenFiles, "", ""},
        {"cmdCompress", Kind::SaveFile, "", "/second"},
        {"cmdDevelop", Kind::OpenFile, "", "/second"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.button);
        auto* button = control<QPushButton>(w, QLatin1String(row.button));
        app.showTab(w.SSTab1()->indexOf(button->parentWidget()));
        if (row.kind == Kind::OpenFile && QByteArray(row.button) == "cmdDevelop") {
            ui.answerOpenFile(archive);
            ui.answerFolder(std::nullopt);
        } else if (row.kind == Kind::OpenFile) {
            ui.answerOpenFile(std::nullopt);
        } else if (row.kind == Kind::OpenFiles) {
            ui.answerOpenFiles(std::nullopt);
        } else {
            ui.answerSaveFile(std::nullopt);
        }
        const std::size_t before = ui.calls().size();
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_GT(ui.calls().size(), before);
        const ScriptedUiServices::Call& call = ui.calls()[before];
        EXPECT_EQ(call.kind, row.kind);
        EXPECT_EQ(call.proposedName, row.name);
        EXPECT_EQ(call.startFolder, row.folder);
    }
    // The folder an archive is unpacked into is first looked for beside it.
    EXPECT_EQ(ui.calls().back().kind, Kind::BrowseFolder);
    EXPECT_EQ(ui.calls().back().startFolder, QStringLiteral("/archives"));
}

}  // namespace
