// Add, remove and clear, the same on the transform and the keyed list:
// driven by real clicks on the controls found by name.
#include "Controls.h"
#include "PanelTestWindow.h"

#include <gtest/gtest.h>
#include <QListWidget>
#include <QPushButton>
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

    QStringList texts() const {
        QStringList out;
        for (int i = 0; i < list->count(); ++i) out.append(list->item(i)->text());
        return out;
    }

    PanelTestWindow app;
    QListWidget* list = nullptr;
};

TEST_P(AppListCommands, AddAppendsTheChosenFileAndCancelAddsNothing) {
    app.ui().answerOpenFile(QStringLiteral("/data/one.bin"));
    app.ui().answerOpenFile(std::nullopt);
    app.ui().answerOpenFile(QStringLiteral("/a"));
    for (int i = 0; i < 3; ++i) QTest::mouseClick(button(GetParam().add), Qt::LeftButton);

    // Duplicates are listed again.
    EXPECT_EQ(texts(), kEntries + QStringList({"/data/one.bin", "/a"}));
    ASSERT_EQ(app.ui().calls().size(), 3u);
    for (const auto& call : app.ui().calls()) {
        EXPECT_EQ(call.kind, ScriptedUiServices::Kind::OpenFile);
        EXPECT_EQ(call.title, QStringLiteral("追加するファイル"));
        EXPECT_EQ(call.filter, QStringLiteral("全てのファイル (*.*)|*.*"));
        // Every dialog starts with an empty name, whatever was chosen before.
        EXPECT_TRUE(call.proposedName.isEmpty());
    }
}

TEST_P(AppListCommands, RemoveTakesExactlyTheSelectedEntries) {
    for (const RemoveCase& c : kRemoveCases) {
        SCOPED_TRACE(c.name);
        list->clear();
        list->addItems(kEntries);
        select(c.selected);
        QTest::mouseClick(button(GetParam().remove), Qt::LeftButton);
        EXPECT_EQ(texts(), c.left);
    }
    EXPECT_TRUE(app.ui().calls().empty()) << "remove asks nothing";
}

TEST_P(AppListCommands, ClearAsksAndEmptiesOnlyOnYes) {
    app.ui().answerMessage(Answer::No);
    QTest::mouseClick(button(GetParam().clear), Qt::LeftButton);
    EXPECT_EQ(texts(), kEntries);

    app.ui().answerMessage(Answer::Yes);
    QTest::mouseClick(button(GetParam().clear), Qt::LeftButton);
    EXPECT_EQ(list->count(), 0);

    ASSERT_EQ(app.ui().calls().size(), 2u);
    for (const auto& call : app.ui().calls()) {
        EXPECT_EQ(call.text, QStringLiteral("全ての項目を解除しますか？"));
        EXPECT_EQ(call.title, QStringLiteral("Vuvurazir"));
        EXPECT_EQ(call.buttons, Buttons::YesNo);
        EXPECT_EQ(call.icon, Icon::Question);
    }
}

INSTANTIATE_TEST_SUITE_P(Panels, AppListCommands, testing::ValuesIn(kPanels),
                         [](const testing::TestParamInfo<ListPanel>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
