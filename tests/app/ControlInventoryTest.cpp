// The window's controls, found by object name: kind, caption, tooltip, tab,
// initial state, focus order, access keys and the menu tree.
#include "Controls.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/panels/KeyedPanel.h"
#include "app/window/frmMain.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

class AppWindow : public testing::Test {
protected:
    void SetUp() override {
        // With every library present, so that nothing is disabled by start-up.
        for (const char* name : {"unlha32", "Rozu32", "Vod32"}) {
            folders.install(name, TestFolders::Variant::Good, TestFolders::Place::System);
        }
        window = std::make_unique<dozo::frmMain>(folders.options(), &ui);
    }

    template <typename T = QWidget>
    T* control(const char* name) {
        return ::control<T>(*window, QLatin1String(name));
    }

    TestFolders folders;
    ScriptedUiServices ui;
    std::unique_ptr<dozo::frmMain> window;
};

struct ControlRow {
    const char* name;
    const char* kind;  // Qt class the control must be
    int tab;
    const char* caption;  // text, title of a frame; nullptr when the kind has none
    const char* toolTip;
};

// clang-format off
const ControlRow kControls[] = {
    {"Label1", "QLabel", 0, "暗号化するファイル(&T)：", ""},
    {"TFile", "QLineEdit", 0, "", "暗号化するファイルをフルパスで指定します。"},
    {"BR", "QPushButton", 0, "参照(&B)...", "暗号化するファイルをダイアログから選択します。"},
    {"Label2", "QLabel", 0, "暗号化パスワード(&P)：", ""},
    {"PASS", "QLineEdit", 0, "", "暗号化解除パスワードを半角100文字以内で指定します。"},
    {"LHAEnc", "QPushButton", 0, "暗号化後LHA圧縮(&L)...", "通常の暗号化処理の後､LHA書庫に格納します。"},
    {"Enc", "QPushButton", 0, "通常暗号化(&E)...", "暗号化を行ないます。"},
    {"Line3", "QFrame", 0, nullptr, ""},
    {"Line4", "QFrame", 0, nullptr, ""},
    {"Label3", "QLabel", 1, "圧縮するファイル(&L)：", ""},
    {"FL", "QListWidget", 1, nullptr, ""},
    {"L1", "QLabel", 1, "カス", ""},
    {"cmdDelete", "QPushButton", 1, "解除(&E)", "選択した項目を削除します"},
    {"cmdClear", "QPushButton", 1, "クリア(&L)", "リスト内の全項目を削除します"},
    {"cmdCompress", "QPushButton", 1, "圧縮(&C)...", "リスト内のファイルを圧縮します"},
    {"cmdDevelop", "QPushButton", 1, "展開(&D)...", "既存の書庫ファイルを展開します"},
    {"Label4", "QLabel", 2, "対象ファイル(&T)：", ""},
    {"IFN", "QListWidget", 2, nullptr, ""},
    {"Frame1", "QGroupBox", 2, "暗号化/復号形式", ""},
    {"Picture1", "QWidget", 2, nullptr, ""},
    {"EncType_0", "QRadioButton", 2, "FileEncryption&A", "Rudadu算術式暗号化"},
    {"EncType_1", "QRadioButton", 2, "FileEncryption&C", "Rudadu転置式暗号化"},
    {"EncType_2", "QRadioButton", 2, "FileEncryption&LC", "Rudadu論理転置式暗号化"},
    {"EncType_3", "QRadioButton", 2, "FileEncryptionLC&R", "Rudadu論理転換式暗号化"},
    {"EncType_4", "QRadioButton", 2, "FileEncryptionLC&B", "Rudadu論理転置否定式２点間バイナリ補正暗号化"},
    {"EncType_5", "QRadioButton", 2, "FileEncryptionLC&RB", "Rudadu論理転換否定式２点間バイナリ補正暗号化"},
    {"EncType_6", "QRadioButton", 2, "&i-CLOL", "i-CLOL"},
    {"BR2", "QPushButton", 2, "参照(&B)...", "暗号化するファイルをダイアログから選択します。"},
    {"Del2", "QPushButton", 2, "解除(&E)", ""},
    {"CmdCL", "QPushButton", 2, "クリア(&L)", "リスト内の全項目を削除します"},
    {"cmdEnc", "QPushButton", 2, "処理開始(&S)...", "暗号化処理を開始します"},
    {"Prg1", "QProgressBar", 2, nullptr, ""},
    {"Label5", "QLabel", 3, "対象ファイル(&T)：", ""},
    {"lstVov", "QListWidget", 3, nullptr, ""},
    {"Frame2", "QGroupBox", 3, "暗号/復号化形式", ""},
    {"Picture2", "QWidget", 3, nullptr, ""},
    {"VovType_0", "QRadioButton", 3, "VovBC&MKC", "Rudadu算術式暗号化"},
    {"cmdVovAdd", "QPushButton", 3, "参照(&B)...", "暗号化するファイルをダイアログから選択します。"},
    {"cmdVovDel", "QPushButton", 3, "解除(&E)", ""},
    {"cmdVovClear", "QPushButton", 3, "クリア(&L)", "リスト内の全項目を削除します"},
    {"Label6", "QLabel", 3, "暗号化キー(&K)：", ""},
    {"txtKey", "QLineEdit", 3, nullptr, ""},
    {"cmdVovEnc", "QPushButton", 3, "処理開始(&S)...", "暗号化処理を開始します"},
    {"VovPrg", "QProgressBar", 3, nullptr, ""},
};
// clang-format on

QString captionOf(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* box = qobject_cast<QGroupBox*>(w)) return box->title();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    return {};
}

TEST_F(AppWindow, EveryControlHasItsKindCaptionToolTipAndTab) {
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        QWidget* w = control(row.name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(row.kind)) << w->metaObject()->className();
        if (row.caption) {
            EXPECT_EQ(captionOf(w).toStdString(), row.caption);
        }
        EXPECT_EQ(w->toolTip().toStdString(), row.toolTip);
        QWidget* page = window->SSTab1()->widget(row.tab);
        EXPECT_TRUE(page->isAncestorOf(w)) << "expected on tab " << row.tab;
        EXPECT_TRUE(w->isEnabled());
    }
}

TEST_F(AppWindow, TabsAndWindowShape) {
    QTabWidget* tabs = control<QTabWidget>("SSTab1");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 4);
    const char* captions[] = {"RIVO暗号化", "複数ファイル圧縮", "Rozu32", "Zurozid"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(tabs->tabText(i).toStdString(), captions[i]);
    EXPECT_EQ(tabs->currentIndex(), 0);

    EXPECT_EQ(window->objectName().toStdString(), "frmMain");
    EXPECT_EQ(window->windowTitle().toStdString(), "Vuvurazir V2.20");
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    window->show();
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window is not resizable";
    const QSize client = window->centralWidget()->size();
    EXPECT_GE(client.width(), 411);
    EXPECT_GE(client.height(), 296);
    // The designed size holds unless the font needs more; never far more.
    EXPECT_LE(client.width(), 411 * 3 / 2);
    EXPECT_LE(client.height(), 296 * 3 / 2);
}

TEST_F(AppWindow, InitialStates) {
    EXPECT_EQ(control<QLineEdit>("PASS")->maxLength(), 100);
    EXPECT_EQ(control<QLineEdit>("PASS")->echoMode(), QLineEdit::Password);
    QLineEdit* key = control<QLineEdit>("txtKey");
    EXPECT_EQ(key->maxLength(), 255);
    EXPECT_EQ(key->echoMode(), QLineEdit::Password);
    ASSERT_EQ(key->text().size(), 1);
    EXPECT_TRUE(key->text().front().isDigit());
    EXPECT_EQ(key->text(), QString::fromLatin1(dozo::KeyedPanel::kDefaultKey));
    EXPECT_TRUE(control<QLineEdit>("TFile")->text().isEmpty());

    for (const char* list : {"FL", "IFN", "lstVov"}) {
        SCOPED_TRACE(list);
        EXPECT_EQ(control<QListWidget>(list)->selectionMode(),
                  QAbstractItemView::ExtendedSelection);
        EXPECT_EQ(control<QListWidget>(list)->count(), 0);
    }
    for (const char* bar : {"Prg1", "VovPrg"}) {
        SCOPED_TRACE(bar);
        EXPECT_EQ(control<QProgressBar>(bar)->minimum(), 0);
        EXPECT_EQ(control<QProgressBar>(bar)->maximum(), 100);
        EXPECT_EQ(control<QProgressBar>(bar)->value(), 0);
    }
    EXPECT_TRUE(control<QRadioButton>("EncType_0")->isChecked());
    for (int i = 1; i < 7; ++i) {
        EXPECT_FALSE(
            control<QRadioButton>(qPrintable(QStringLiteral("EncType_%1").arg(i)))->isChecked());
    }
    EXPECT_TRUE(control<QRadioButton>("VovType_0")->isChecked());
    EXPECT_TRUE(control<QLabel>("L1")->isHidden());

    // The etched separator: shadow line above the highlight line.
    QFrame* upper = control<QFrame>("Line3");
    QFrame* lower = control<QFrame>("Line4");
    EXPECT_EQ(upper->frameShape(), QFrame::HLine);
    EXPECT_EQ(lower->frameShape(), QFrame::HLine);
    EXPECT_EQ(upper->foregroundRole(), QPalette::Dark);
    EXPECT_EQ(lower->foregroundRole(), QPalette::Light);
    window->show();
    EXPECT_LT(upper->geometry().top(), lower->geometry().top());
    EXPECT_LE(lower->geometry().top() - upper->geometry().top(), 2);

    QTimer* timer = control<QTimer>("Tmr");
    EXPECT_EQ(timer->interval(), 10);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(window->state().ET, 0);
    EXPECT_EQ(window->state().ETVov, 0);
}

TEST_F(AppWindow, EncTypeOptionsInTwoColumnsRowByRow) {
    window->SSTab1()->setCurrentIndex(2);
    window->show();
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const QRect r = control(qPrintable(QStringLiteral("EncType_%1").arg(i)))->geometry();
        if (i % 2 == 1) {
            const QRect left =
                control(qPrintable(QStringLiteral("EncType_%1").arg(i - 1)))->geometry();
            EXPECT_EQ(r.top(), left.top());
            EXPECT_GT(r.left(), left.right());
        }
        if (i >= 2) {
            const QRect above =
                control(qPrintable(QStringLiteral("EncType_%1").arg(i - 2)))->geometry();
            EXPECT_GT(r.top(), above.top());
            EXPECT_EQ(r.left(), above.left());
        }
    }
}

// The focusable controls of each tab, in the order Tab visits them.
struct FocusOrderRow {
    int tab;
    std::vector<std::string> order;
};

TEST_F(AppWindow, TabOrderFollowsTheInventory) {
    const FocusOrderRow rows[] = {
        {0, {"TFile", "BR", "PASS", "LHAEnc", "Enc"}},
        {1, {"FL", "cmdDelete", "cmdClear", "cmdCompress", "cmdDevelop"}},
        {2,
         {"IFN", "EncType_0", "EncType_1", "EncType_2", "EncType_3", "EncType_4", "EncType_5",
          "EncType_6", "BR2", "Del2", "CmdCL", "cmdEnc"}},
        {3,
         {"lstVov", "VovType_0", "cmdVovAdd", "cmdVovDel", "cmdVovClear", "txtKey", "cmdVovEnc"}},
    };
    for (const FocusOrderRow& row : rows) {
        SCOPED_TRACE(row.tab);
        QWidget* page = window->SSTab1()->widget(row.tab);
        QWidget* first = control(row.order.front().c_str());
        std::vector<std::string> seen;
        QWidget* w = first;
        do {
            if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) &&
                !w->objectName().isEmpty()) {
                seen.push_back(w->objectName().toStdString());
            }
            w = w->nextInFocusChain();
        } while (w != first);
        EXPECT_EQ(seen, row.order);
    }
}

struct AccessKeyRow {
    int tab;
    Qt::Key key;
    const char* label;
    const char* buddy;
};

TEST_F(AppWindow, LabelAccessKeysFocusTheirField) {
    const AccessKeyRow rows[] = {
        {0, Qt::Key_T, "Label1", "TFile"},  {0, Qt::Key_P, "Label2", "PASS"},
        {1, Qt::Key_L, "Label3", "FL"},     {2, Qt::Key_T, "Label4", "IFN"},
        {3, Qt::Key_T, "Label5", "lstVov"}, {3, Qt::Key_K, "Label6", "txtKey"},
    };
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (const AccessKeyRow& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(control<QLabel>(row.label)->buddy(), control(row.buddy));
        // Alt+L is shared with a button on the archive tab; only the buddy
        // link is checked there.
        if (row.tab == 1) continue;
        window->SSTab1()->setCurrentIndex(row.tab);
        window->SSTab1()->setFocus();
        QTest::keyClick(window.get(), row.key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), control(row.buddy));
    }
}

struct KeyRow {
    const char* button;
    ScriptedUiServices::Kind asks;  // what its command shows first
};

// A focused button takes Enter as well as Space, on every tab; the command
// it runs is answered with a cancel, so nothing follows.
TEST_F(AppWindow, EnterAndSpacePressTheFocusedButton) {
    using K = ScriptedUiServices::Kind;
    const KeyRow rows[] = {
        {"BR", K::OpenFile},
        {"cmdClear", K::MessageBox},
        {"cmdDevelop", K::OpenFile},
        {"BR2", K::OpenFiles},
        {"CmdCL", K::MessageBox},
        {"cmdVovAdd", K::OpenFiles},
        {"cmdVovClear", K::MessageBox},
    };
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::qWait(30);  // a tick enables 展開
    for (const KeyRow& row : rows) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            SCOPED_TRACE(std::string(row.button) + " key " + std::to_string(key));
            auto* button = control<QPushButton>(row.button);
            ASSERT_NE(button, nullptr);
            window->SSTab1()->setCurrentWidget(button->parentWidget());
            button->setFocus();
            ASSERT_TRUE(button->hasFocus());
            if (row.asks == K::MessageBox) {
                ui.answerMessage(dozo::UiServices::Answer::No);
            } else if (row.asks == K::OpenFiles) {
                ui.answerOpenFiles(std::nullopt);
            } else {
                ui.answerOpenFile(std::nullopt);
            }
            const std::size_t before = ui.calls().size();
            QTest::keyClick(button, key);
            ASSERT_EQ(ui.calls().size(), before + 1) << "the key did not press the button";
            EXPECT_EQ(ui.calls().back().kind, row.asks);
        }
    }
}

struct MenuRow {
    const char* name;
    const char* caption;  // nullptr for a separator
    const char* parent;   // the item whose submenu holds it; "" for the menu bar
};

// clang-format off
const MenuRow kMenu[] = {
    {"mnuFile", "ファイル(&F)", ""},
    {"mnuFileOpen", "暗号化ファイル指定(&O)...", "mnuFile"},
    {"mnuFileBar1", nullptr, "mnuFile"},
    {"mnuEnc", "RIVO暗号化実行(&E)", "mnuFile"},
    {"mnuEncryption", "通常暗号化(&E)...", "mnuEnc"},
    {"mnuLHAEnc", "暗号化後LHA圧縮(&L)...", "mnuEnc"},
    {"mnuFileBar2", nullptr, "mnuFile"},
    {"mnuExit", "終了(&X)", "mnuFile"},
    {"mnuDLL", "DLL(&D)", ""},
    {"mnuDLLSet", "DLLの設定(&S)", "mnuDLL"},
    {"mnuLHASet", "UNLHA32.DLLの設定(&L)...", "mnuDLLSet"},
    {"mnuDLLVer", "DLLのバージョン(&V)", "mnuDLL"},
    {"mnuLHAVer", "UNLHA32.DLLのバージョン情報(&L)...", "mnuDLLVer"},
    {"mnuRazuVer", "Rozu32.DLLのバージョン情報(&F)...", "mnuDLLVer"},
    {"mnuVovVer", "Vod32.DLLのバージョン情報(&S)...", "mnuDLLVer"},
    {"mnuHelp", "ヘルプ(&H)", ""},
    {"mnuReadMe", "Read Meを表示(&R)", "mnuHelp"},
    {"mnuHelpBar1", nullptr, "mnuHelp"},
    {"mnuAbout", "バージョン情報(&A)...", "mnuHelp"},
};
// clang-format on

QWidget* containerOf(QAction* action) {
    for (QObject* o : action->associatedObjects()) {
        if (o->inherits("QMenuBar") || o->inherits("QMenu")) return static_cast<QWidget*>(o);
    }
    return nullptr;
}

TEST_F(AppWindow, MenuTreeInOrder) {
    std::map<std::string, std::vector<std::string>> expectedChildren;
    for (const MenuRow& row : kMenu) {
        SCOPED_TRACE(row.name);
        QAction* action = control<QAction>(row.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->isSeparator(), row.caption == nullptr);
        if (row.caption) {
            EXPECT_EQ(action->text().toStdString(), row.caption);
        }
        EXPECT_TRUE(action->isEnabled());
        QWidget* container = containerOf(action);
        ASSERT_NE(container, nullptr);
        if (*row.parent == '\0') {
            EXPECT_EQ(container, window->menuBar());
        } else {
            auto* menu = qobject_cast<QMenu*>(container);
            ASSERT_NE(menu, nullptr);
            EXPECT_EQ(menu->menuAction()->objectName().toStdString(), row.parent);
        }
        expectedChildren[row.parent].push_back(row.name);
    }
    // Order within each menu.
    std::vector<std::string> top;
    for (QAction* a : window->menuBar()->actions()) top.push_back(a->objectName().toStdString());
    EXPECT_EQ(top, expectedChildren[""]);
    for (const char* parent :
         {"mnuFile", "mnuEnc", "mnuDLL", "mnuDLLSet", "mnuDLLVer", "mnuHelp"}) {
        SCOPED_TRACE(parent);
        QMenu* menu = control<QAction>(parent)->menu();
        ASSERT_NE(menu, nullptr);
        std::vector<std::string> names;
        for (QAction* a : menu->actions()) names.push_back(a->objectName().toStdString());
        EXPECT_EQ(names, expectedChildren[parent]);
    }
}

}  // namespace
