// The password and the key are typed masked; the toggle inside each field
// shows and hides them without touching the text or the field's state.
#include "Controls.h"
#include "PanelTestWindow.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

namespace {

struct SecretField {
    const char* name;
    int tab;
    const char* field;
    const char* toggle;
};

const SecretField kFields[] = {
    {"Password", 0, "PASS", "PASSShow"},
    {"Key", 3, "txtKey", "txtKeyShow"},
};

class AppSecretField : public testing::TestWithParam<SecretField> {
protected:
    void SetUp() override {
        app.showTab(GetParam().tab);
        field = control<QLineEdit>(app.window(), QLatin1String(GetParam().field));
        ASSERT_NE(field, nullptr);
        toggle = control<QAction>(*field, QLatin1String(GetParam().toggle));
        ASSERT_NE(toggle, nullptr);
        // The toggle sits inside the field, as a button the user clicks.
        const QList<QToolButton*> buttons = field->findChildren<QToolButton*>();
        for (QToolButton* candidate : buttons) {
            if (candidate->defaultAction() == toggle) button = candidate;
        }
        ASSERT_NE(button, nullptr) << "no button inside the field";
    }

    PanelTestWindow app;
    QLineEdit* field = nullptr;
    QAction* toggle = nullptr;
    QToolButton* button = nullptr;
};

TEST_P(AppSecretField, MaskedUntilTheToggleShowsItAndAgainWhenClickedAgain) {
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_TRUE(button->isVisible());
    EXPECT_GT(button->icon().availableSizes().size(), 0) << "the toggle must be visible offscreen";
    EXPECT_GT(button->geometry().left(), field->width() / 2) << "at the end of the field";

    field->clear();
    QTest::keyClicks(field, QStringLiteral(" pass word "));
    const QString typed = field->text();
    EXPECT_EQ(typed, QStringLiteral(" pass word "));
    EXPECT_NE(field->displayText(), typed);

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(field->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(field->displayText(), typed);

    // Typing goes on in the shown field, and nothing is lost when it hides.
    QTest::keyClicks(field, QStringLiteral("x"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_EQ(field->text(), typed + QStringLiteral("x"));
    EXPECT_TRUE(app.ui().calls().empty());
}

TEST_P(AppSecretField, TheToggleFollowsTheFieldsEnablement) {
    EXPECT_TRUE(field->isEnabled());
    field->setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
    field->setEnabled(true);
    EXPECT_TRUE(button->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Fields, AppSecretField, testing::ValuesIn(kFields),
                         [](const testing::TestParamInfo<SecretField>& test) {
                             return std::string(test.param.name);
                         });

}  // namespace
