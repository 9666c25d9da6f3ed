// The real dialogs behind the UI services: Japanese buttons, the title, the
// icon, and the filter and proposed name handed to the file dialog. Each
// dialog is answered from inside its own event loop, as a user would.
#include "app/shell/QtTranslation.h"
#include "app/shell/QtUiServices.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

using Answer = dozo::UiServices::Answer;
using Buttons = dozo::UiServices::Buttons;
using Icon = dozo::UiServices::Icon;

// Runs `act` on the modal dialog once its event loop has started.
template <typename Dialog>
void whenShown(std::function<void(Dialog*)> act) {
    QMetaObject::invokeMethod(
        qApp,
        [act] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "no modal dialog is showing";
            act(dialog);
        },
        Qt::QueuedConnection);
}

// A file name is shown as it is spelled, however much it looks like markup.
TEST(AppQtUiServicesText, MarkupInAFileNameIsShownAsText) {
    QWidget owner;
    owner.show();
    dozo::QtUiServices ui(&owner);
    const QString text =
        QStringLiteral("【/tmp/<b>x</b>&amp;<img src=y>.txt】は\r\n読み込めません。");
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        format = label->textFormat();
        shown = label->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    ui.messageBox(text, "Vuvurazir", Buttons::Ok, Icon::Error);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, text);
}

// A key typed again is typed where it cannot be seen; Enter gives it back,
// Escape gives nothing.
TEST(AppQtUiServicesSecret, TypedMaskedAndCancelledByEscape) {
    QWidget owner;
    owner.show();
    dozo::QtUiServices ui(&owner);
    for (const bool accept : {true, false}) {
        SCOPED_TRACE(accept);
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        QString title;
        whenShown<QInputDialog>([&](QInputDialog* dialog) {
            auto* field = dialog->findChild<QLineEdit*>();
            ASSERT_NE(field, nullptr);
            echo = field->echoMode();
            title = dialog->windowTitle();
            QTest::keyClicks(field, QStringLiteral("key 7"));
            QTest::keyClick(field, accept ? Qt::Key_Return : Qt::Key_Escape);
        });
        const std::optional<QString> typed = ui.askSecret(QStringLiteral("もう一度"), "Vuvurazir");
        EXPECT_EQ(echo, QLineEdit::Password);
        EXPECT_EQ(title, QStringLiteral("Vuvurazir"));
        EXPECT_EQ(typed, accept ? std::optional(QStringLiteral("key 7")) : std::nullopt);
    }
}

// The environment installs Qt's Japanese translation as main() does, so the
// standard buttons and the file dialog's own labels are Japanese.
TEST(AppQtTranslation, StandardButtonsAndFileDialogReadJapanese) {
    ASSERT_TRUE(QFile::exists(dozo::QtTranslation::folder() + "/qtbase_ja.qm"))
        << "install qt6-translations-l10n";
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Cancel | QMessageBox::Save);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));

    QWidget owner;
    owner.show();
    dozo::QtUiServices ui(&owner);
    QString lookIn;
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        auto* label = dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"));
        ASSERT_NE(label, nullptr);
        lookIn = label->text();
        dialog->reject();
    });
    ui.openFileDialog("暗号化するファイル", "全てのファイル (*.*)|*.*", QString());
    EXPECT_FALSE(lookIn.isEmpty());
    EXPECT_NE(lookIn, QStringLiteral("Look in:"));
}

struct BoxCase {
    const char* name;
    Buttons buttons;
    Icon icon;
    const char* press;  // button text to click; nullptr: press Escape
    QStringList expectedButtons;
    QMessageBox::Icon expectedIcon;
    Answer expectedAnswer;
};

void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.name;
}

class AppQtUiServicesBox : public testing::TestWithParam<BoxCase> {};

TEST_P(AppQtUiServicesBox, ShowsJapaneseButtonsAndReturnsTheAnswer) {
    const BoxCase& c = GetParam();
    QWidget owner;
    owner.show();
    dozo::QtUiServices ui(&owner);
    QStringList buttons;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons()) buttons << b->text();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        if (!c.press) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == QString::fromUtf8(c.press)) QTest::mouseClick(b, Qt::LeftButton);
        }
    });
    const Answer answer = ui.messageBox("終了しますか", "Vuvurazir", c.buttons, c.icon);
    buttons.sort();
    QStringList expected = c.expectedButtons;
    expected.sort();
    EXPECT_EQ(buttons, expected);
    EXPECT_EQ(title.toStdString(), "Vuvurazir");
    EXPECT_EQ(text.toStdString(), "終了しますか");
    EXPECT_EQ(icon, c.expectedIcon);
    EXPECT_EQ(answer, c.expectedAnswer);
}

const QStringList kYesNo{"はい", "いいえ"}, kOk{"OK"};
const BoxCase kBoxes[] = {
    {"Yes", Buttons::YesNo, Icon::Question, "はい", kYesNo, QMessageBox::Question, Answer::Yes},
    {"No", Buttons::YesNo, Icon::Question, "いいえ", kYesNo, QMessageBox::Question, Answer::No},
    {"EscapeIsNo", Buttons::YesNo, Icon::Question, nullptr, kYesNo, QMessageBox::Question,
     Answer::No},
    {"OkWithError", Buttons::Ok, Icon::Error, "OK", kOk, QMessageBox::Critical, Answer::Ok},
    {"OkWithInformation", Buttons::Ok, Icon::Information, "OK", kOk, QMessageBox::Information,
     Answer::Ok},
    {"OkWithoutIcon", Buttons::Ok, Icon::None, nullptr, kOk, QMessageBox::NoIcon, Answer::Ok},
};

INSTANTIATE_TEST_SUITE_P(Boxes, AppQtUiServicesBox, testing::ValuesIn(kBoxes),
                         [](const testing::TestParamInfo<BoxCase>& test) {
                             return std::string(test.param.name);
                         });

TEST(AppQtUiServicesFileDialog, OpenShowsTitleAndConvertedFilterAndReturnsTheChoice) {
    QTemporaryDir dir;
    const QString chosen = dir.filePath("data.txt");
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QWidget owner;
    dozo::QtUiServices ui(&owner);
    QString title;
    QStringList filters;
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();  // the Open button's own path
    });
    const auto path = ui.openFileDialog("追加するファイル", "全てのファイル (*.*)|*.*", {});
    EXPECT_EQ(title.toStdString(), "追加するファイル");
    EXPECT_EQ(filters, QStringList{"全てのファイル (*.*) (*)"});
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, chosen);
}

// Qt's own question before an existing file is chosen reads "replace it?":
// asked for a package, which does replace the file, never for an archive,
// which is added to (the archive tab asks its own question).
TEST(AppQtUiServicesFileDialog, SaveProposesTheNameAndCancelGivesNothing) {
    using Existing = dozo::UiServices::Existing;
    for (const auto& [existing, asks] :
         {std::pair{Existing::Replaced, true}, std::pair{Existing::AddedTo, false}}) {
        SCOPED_TRACE(asks);
        QTemporaryDir dir;
        const QString proposed = dir.filePath("report.exe");
        QWidget owner;
        dozo::QtUiServices ui(&owner);
        QStringList selected;
        bool saving = false;
        bool asksToReplace = !asks;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            selected = dialog->selectedFiles();
            saving = dialog->acceptMode() == QFileDialog::AcceptSave;
            asksToReplace = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            dialog->reject();
        });
        const auto path = ui.saveFileDialog("暗号化後のファイル名",
                                            "実行可能ファイル (*.exe)|*.exe", proposed, existing);
        EXPECT_TRUE(saving);
        EXPECT_EQ(asksToReplace, asks);
        EXPECT_EQ(selected, QStringList{proposed});
        EXPECT_FALSE(path.has_value());
    }
}

// The dialogs keep no history: Qt's file dialog would otherwise leave
// QtProject.conf in the user's configuration folder when it closes, accepted
// or cancelled, and so would the folder browser built on it.
TEST(AppQtUiServicesFileDialog, LeavesNoSettingsFileBehind) {
    QTemporaryDir home;
    QDir(home.path()).mkpath(".config");
    const QString config = home.filePath(".config");
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    // Qt reads the folder once a process; this makes it the user's here too.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
    const QString file = home.filePath("data.txt");
    QFile(file).open(QIODevice::WriteOnly);
    {
        QWidget owner;
        dozo::QtUiServices ui(&owner);
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        });
        EXPECT_TRUE(ui.openFileDialog("追加するファイル", "全てのファイル (*.*)|*.*", {}));
        whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        EXPECT_FALSE(ui.saveFileDialog("書庫ファイル名", "LHA書庫 (*.lzh)|*.lzh", {},
                                       dozo::UiServices::Existing::AddedTo));
        whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        EXPECT_FALSE(ui.browseFolder("展開するディレクトリを選択してください。"));
    }
    qputenv("HOME", oldHome);
    if (oldConfig.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
    QDir found(home.path());
    EXPECT_EQ(found.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{".config", "data.txt"}));
    EXPECT_TRUE(QDir(config).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        << QDir(config)
               .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
               .join(' ')
               .toStdString();
}

// A program is started by its absolute path only: a bare or relative name
// would be found through PATH, whose "." entry is the current folder.
TEST(AppQtUiServicesProgram, OnlyAnAbsolutePathIsStarted) {
    QTemporaryDir dir;
    QFile tool(dir.filePath(QStringLiteral("tool")));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\necho ran >> \"$(dirname \"$0\")/ran\"\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    const QString before = QDir::currentPath();
    qputenv("PATH", ".:" + path);
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    dozo::QtUiServices ui(nullptr);
    for (const QString& name : {QStringLiteral("tool"), QStringLiteral("./tool")})
        EXPECT_FALSE(ui.startProgram(name)) << name.toStdString();
    EXPECT_TRUE(ui.startProgram(dir.filePath(QStringLiteral("tool"))));
    QDir::setCurrent(before);
    qputenv("PATH", path);
    QFile ran(dir.filePath(QStringLiteral("ran")));
    for (int i = 0; i < 100 && ran.size() == 0; ++i) QTest::qWait(50);
    ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
    EXPECT_EQ(ran.readAll(), QByteArray("ran\n"));
}

}  // namespace
