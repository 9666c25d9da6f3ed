// What assistive technology learns of the real window, through QAccessible
// as a screen reader's bridge asks: every control has a name, the role of
// what it is, and the fields and lists are labelled by the label that names
// them; the eye toggles of the secret fields are reachable and announce their
// state.
#include "Controls.h"
#include "PanelTestWindow.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QToolButton>

namespace {

struct Expected {
    const char* name;  // object name
    QAccessible::Role role;
    const char* spoken;       // accessible name; nullptr: not checked beyond non-empty
    const char* label;        // the label that names it, or nullptr
    const char* description;  // nullptr: none expected beyond the tooltip
};

using R = QAccessible::Role;
// clang-format off
const Expected kControls[] = {
    {"TFile",     R::EditableText, "暗号化するファイル", "Label1", "暗号化するファイルをフルパスで指定します。"},
    {"PASS",      R::EditableText, "暗号化パスワード",   "Label2", nullptr},
    {"BR",        R::PushButton,   "参照(B)...",         nullptr,  "暗号化するファイルをダイアログから選択します。"},
    {"Line3",     R::Separator,    nullptr,              nullptr,  nullptr},
    {"PkgPrg",    R::ProgressBar,  "進行状況",           nullptr,  nullptr},
    {"FL",        R::List,         "圧縮するファイル",   "Label3", "ここにファイルをドロップするか"},
    {"IFN",       R::List,         "対象ファイル",       "Label4", nullptr},
    {"Frame1",    R::Grouping,     "暗号化/復号形式",    nullptr,  nullptr},
    {"EncType_4", R::RadioButton,  "FileEncryptionLCB",  nullptr,  "Rudadu論理転置否定式２点間バイナリ補正暗号化"},
    {"lstVov",    R::List,         "対象ファイル",       "Label5", nullptr},
    {"txtKey",    R::EditableText, "暗号化キー",         "Label6", nullptr},
};
// clang-format on

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

bool relates(QAccessibleInterface* from, QAccessible::Relation relation, QObject* to) {
    for (const auto& [other, kind] : from->relations(relation)) {
        if (other->object() == to) return true;
    }
    return false;
}

TEST(AppAccessibility, EveryControlHasANameARoleAndItsLabel) {
    PanelTestWindow app(PanelTestWindow::Libraries{true, true, true});
    dozo::frmMain& w = app.window();
    for (const Expected& c : kControls) {
        SCOPED_TRACE(c.name);
        QWidget* widget = control(w, QLatin1String(c.name));
        ASSERT_NE(widget, nullptr);
        QAccessibleInterface* iface = accessible(widget);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), c.role);
        if (c.spoken) {
            EXPECT_EQ(iface->text(QAccessible::Name).toStdString(), c.spoken);
        }
        if (c.description) {
            EXPECT_TRUE(iface->text(QAccessible::Description).startsWith(c.description))
                << iface->text(QAccessible::Description).toStdString();
        }
        if (c.label) {
            auto* label = control<QLabel>(w, QLatin1String(c.label));
            EXPECT_TRUE(relates(accessible(label), QAccessible::Labelled, widget));
        }
    }

    // Every other control too, Qt's own inside ours included (the eye
    // toggles, the tab bar): what takes the focus, or shows a state, is named.
    const QList<QAccessible::Role> shown = {R::ProgressBar, R::List, R::Grouping};
    int controls = 0;
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        // A widget that hands its focus on (the tab widget to its tab bar) is
        // met as the one that takes it.
        if (widget->isHidden() || widget->focusProxy()) continue;
        QAccessibleInterface* iface = accessible(widget);
        ASSERT_NE(iface, nullptr) << widget->metaObject()->className();
        if (!(widget->focusPolicy() & Qt::TabFocus) && !shown.contains(iface->role())) continue;
        ++controls;
        EXPECT_FALSE(iface->text(QAccessible::Name).trimmed().isEmpty())
            << widget->objectName().toStdString() << " " << widget->metaObject()->className();
        EXPECT_NE(iface->role(), R::Border) << widget->objectName().toStdString();
    }
    EXPECT_EQ(controls, 38) << "the controls of the four tabs and the tab bar";
}

// The eye toggle comes right after its field in the tab order, takes Space,
// and a screen reader hears that it is a toggle and whether it is on (the
// change itself is announced by Qt's button, through the desktop's bridge).
TEST(AppAccessibility, TheEyeTogglesAreReachableAndAnnounceTheirState) {
    PanelTestWindow app;
    for (const auto& [tab, fieldName, toggleName] :
         {std::tuple{0, "PASS", "PASSShow"}, std::tuple{3, "txtKey", "txtKeyShow"}}) {
        SCOPED_TRACE(fieldName);
        app.showTab(tab);
        auto* field = control<QLineEdit>(app.window(), QLatin1String(fieldName));
        auto* toggle = control<QAction>(*field, QLatin1String(toggleName));
        ASSERT_TRUE(field && toggle);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Tab);
        auto* button = qobject_cast<QToolButton*>(app.window().focusWidget());
        ASSERT_NE(button, nullptr) << "Tab from the field goes to its toggle";
        QTest::keyClick(button, Qt::Key_Backtab);
        EXPECT_EQ(app.window().focusWidget(), field) << "and Shift+Tab back";
        EXPECT_EQ(button->defaultAction(), toggle);
        QAccessibleInterface* iface = accessible(button);
        EXPECT_EQ(iface->text(QAccessible::Name).toStdString(), "入力した文字を表示");
        EXPECT_TRUE(iface->state().checkable);
        EXPECT_FALSE(iface->state().checked);

        QTest::keyClick(button, Qt::Key_Space);
        EXPECT_EQ(field->echoMode(), QLineEdit::Normal);
        EXPECT_TRUE(iface->state().checked);
        QTest::keyClick(button, Qt::Key_Space);
        EXPECT_EQ(field->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(iface->state().checked);
    }
}

}  // namespace
