// Add, remove and clear, the same on the transform and the keyed list:
// driven by real clicks on the controls found by name.
#include "Controls.h"
#include "PanelTestWindow.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

using Answer = dozo::UiServices::Answer;
using Icon = dozo::UiServices::Icon;
using Buttons = dozo::UiServices::Buttons;

struct ListPanel {
    const char* name;
    int tab;
    const char* list;
    const char* add;
    const char* remove;
    const char* clear;
};

const ListPanel kPanels[] = {
    {"Transform", 2, "IFN", "BR2", "Del2", "CmdCL"},
    {"Keyed", 3, "lstVov", "cmdVovAdd", "cmdVovDel", "cmdVovClear"},
};

struct RemoveCase {
    const char* name;
    std::vector<int> selected;
    QStringList left;
};

const QStringList kEntries = {"/a", "/b", "/c", "/b", "/e"};
// The add dialog's title and the clear question, of every list alike.
const QString kAddTitle = QStringLiteral("追加するファイル");
const QString kClearQuestion = QStringLiteral("全ての項目を解除しますか？");

const RemoveCase kRemoveCases[] = {
    {"None", {}, kEntries},
    {"All", {0, 1, 2, 3, 4}, {}},
    {"FirstAndLast", {0, 4}, {"/b", "/c", "/b"}},
    // Of two equal entries only the selected one goes.
    {"SomeInTheMiddle", {1, 2}, {"/a", "/b", "/e"}},
    {"Adjacent", {2, 3}, {"/a", "/b", "/e"}},
};

class AppListCommands : public testing::TestWithParam<ListPanel> {
protected:
    void SetUp() override {
        app.showTab(GetParam().tab);
        list = control<QListWidget>(app.window(), QLatin1String(GetParam().list));
        ASSERT_NE(list, nullptr);
        list->addItems(kEntries);
    }

    QPushButton* button(const char* name) {
        auto* found = control<QPushButton>(app.window(), QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Real clicks: the first plain, the others with Ctrl held.
    void select(const std::vector<int>& rows) {
        list->clearSelection();
        bool first = true;
        for (int row : rows) {
            list->scrollToItem(list->item(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton,
                              first ? Qt::NoModifier : Qt::ControlModifier,
                              list->visualItemRect(list->item(row)).center());
            first = false;
        }
        ASSERT_EQ(list->selectedItems().size(), static_cast<qsizetype>(rows.size()));
    }

    PanelTestWindow app;
    QListWidget* list = nullptr;
};

TEST_P(AppListCommands, AddAppendsTheChosenFilesAndCancelAddsNothing) {
    app.ui().answerOpenFiles(QStringList{"/data/one.bin", "/data/two.bin"});
    app.ui().answerOpenFiles(std::nullopt);
    app.ui().answerOpenFiles(QStringList{"/a"});
    for (int i = 0; i < 3; ++i) QTest::mouseClick(button(GetParam().add), Qt::LeftButton);

    // In the dialog's order; duplicates are listed again.
    EXPECT_EQ(entries(list), kEntries + QStringList({"/data/one.bin", "/data/two.bin", "/a"}));
    ASSERT_EQ(app.ui().calls().size(), 3u);
    for (const auto& call : app.ui().calls()) {
        EXPECT_EQ(call.kind, ScriptedUiServices::Kind::OpenFiles);
        EXPECT_EQ(call.title, kAddTitle);
        EXPECT_EQ(call.filter, QStringLiteral("全てのファイル (*.*)|*.*"));
    }
}

TEST_P(AppListCommands, RemoveTakesExactlyTheSelectedEntries) {
    for (const RemoveCase& c : kRemoveCases) {
        SCOPED_TRACE(c.name);
        list->clear();
        list->addItems(kEntries);
        select(c.selected);
        QTest::mouseClick(button(GetParam().remove), Qt::LeftButton);
        EXPECT_EQ(entries(list), c.left);
    }
    EXPECT_TRUE(app.ui().calls().empty()) << "remove asks nothing";
}

TEST_P(AppListCommands, ClearAsksAndEmptiesOnlyOnYes) {
    app.ui().answerMessage(Answer::No);
    QTest::mouseClick(button(GetParam().clear), Qt::LeftButton);
    EXPECT_EQ(entries(list), kEntries);

    app.ui().answerMessage(Answer::Yes);
    QTest::mouseClick(button(GetParam().clear), Qt::LeftButton);
    EXPECT_EQ(list->count(), 0);

    ASSERT_EQ(app.ui().calls().size(), 2u);
    for (const auto& call : app.ui().calls()) {
        EXPECT_EQ(call.text, kClearQuestion);
        EXPECT_EQ(call.title, QStringLiteral("Vuvurazir"));
        EXPECT_EQ(call.buttons, Buttons::YesNo);
        EXPECT_EQ(call.icon, Icon::Question);
    }
}

INSTANTIATE_TEST_SUITE_P(Panels, AppListCommands, testing::ValuesIn(kPanels),
                         [](const testing::TestParamInfo<ListPanel>& test) {
                             return std::string(test.param.name);
                         });

// The context menu of every file list, the archive list included: the same
// commands as the buttons beside it, enabled when they have something to do.
struct MenuList {
    const char* name;
    int tab;
    const char* list;
    // The archive list says how many entries its remove took away.
    bool removeTells;
};

const MenuList kMenuLists[] = {
    {"Archive", 1, "FL", true},
    {"Transform", 2, "IFN", false},
    {"Keyed", 3, "lstVov", false},
};

class AppListMenu : public testing::TestWithParam<MenuList> {
protected:
    void SetUp() override {
        app.showTab(GetParam().tab);
        list = control<QListWidget>(app.window(), QLatin1String(GetParam().list));
        ASSERT_NE(list, nullptr);
    }

    QAction* item(const char* suffix) {
        const QString name = QLatin1String(GetParam().list) + QLatin1String(suffix);
        auto* found = control<QAction>(*list, name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    PanelTestWindow app;
    QListWidget* list = nullptr;
};

TEST_P(AppListMenu, AddRemoveAndClearFromTheContextMenu) {
    EXPECT_EQ(list->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList captions;
    for (const QAction* action : list->actions()) captions.append(action->text());
    EXPECT_EQ(captions, QStringList({"追加…", "削除", "すべて削除"}));
    QAction* add = item("Add");
    QAction* remove = item("Remove");
    QAction* clear = item("Clear");
    ASSERT_TRUE(add && remove && clear);
    EXPECT_TRUE(add->isEnabled());
    EXPECT_FALSE(remove->isEnabled()) << "nothing selected";
    EXPECT_FALSE(clear->isEnabled()) << "nothing listed";

    app.ui().answerOpenFiles(QStringList{"/x/1", "/x/2", "/x/3"});
    add->trigger();
    EXPECT_EQ(list->count(), 3);
    EXPECT_TRUE(clear->isEnabled());
    EXPECT_FALSE(remove->isEnabled());

    list->item(1)->setSelected(true);
    EXPECT_TRUE(remove->isEnabled());
    if (GetParam().removeTells) app.ui().answerMessage(Answer::Ok);
    remove->trigger();
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("/x/3"));
    EXPECT_FALSE(remove->isEnabled());

    app.ui().answerMessage(Answer::Yes);
    clear->trigger();
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(clear->isEnabled());

    const auto& calls = app.ui().calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().kind, ScriptedUiServices::Kind::OpenFiles);
    EXPECT_EQ(calls.front().title, kAddTitle);
    EXPECT_EQ(calls.back().text, kClearQuestion);
}

// Removing thousands of entries at once is one step for each run of adjacent
// selected entries: an entry at a time, each a change of the selection,
// held the window for seconds. The entries left are the unselected ones.
TEST_P(AppListMenu, RemovingThousandsOfEntriesTakesOneStepPerSelectedRun) {
    QStringList listed;
    for (int i = 0; i < 4000; ++i) listed.append(QStringLiteral("/many/%1").arg(i));
    list->addItems(listed);
    list->selectAll();
    const int kept[] = {0, 1999, 2000, 3999};
    for (const int row : kept) list->item(row)->setSelected(false);
    QSignalSpy changes(list, &QListWidget::itemSelectionChanged);
    if (GetParam().removeTells) app.ui().answerMessage(Answer::Ok);

    item("Remove")->trigger();

    EXPECT_EQ(entries(list), QStringList({"/many/0", "/many/1999", "/many/2000", "/many/3999"}));
    EXPECT_LE(changes.count(), 2) << "two runs were selected";
    if (GetParam().removeTells) {
        ASSERT_EQ(app.ui().calls().size(), 1u);
        EXPECT_EQ(app.ui().calls().back().text, QStringLiteral("3996個のファイルを解除しました。"));
    }
}

// Delete in the list removes the selected entries, as 削除 does; with
// nothing selected it does nothing (the archive list says nothing either).
TEST_P(AppListMenu, TheDeleteKeyRemovesTheSelection) {
    list->addItems({"/k/1", "/k/2", "/k/3"});
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->count(), 3);
    EXPECT_TRUE(app.ui().calls().empty());

    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    if (GetParam().removeTells) app.ui().answerMessage(Answer::Ok);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(entries(list), QStringList{"/k/2"});
}

INSTANTIATE_TEST_SUITE_P(Lists, AppListMenu, testing::ValuesIn(kMenuLists),
                         [](const testing::TestParamInfo<MenuList>& test) {
                             return std::string(test.param.name);
                         });

}  // namespace
