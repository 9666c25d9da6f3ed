// The keyed panel over the real Vod32: keys in code page 932, the empty box
// refilled, keys refused before any file is touched, and failures reported.
#include "Controls.h"
#include "PanelTestWindow.h"

#include "app/panels/KeyedPanel.h"
#include "core/text/CodePage932.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

namespace {

using Kind = ScriptedUiServices::Kind;
using Answer = dozo::UiServices::Answer;
using Icon = dozo::UiServices::Icon;

constexpr int kKeyedTab = 3;

class AppKeyedPanel : public testing::Test {
protected:
    void SetUp() override {
        if (!app.missingLibrary().isEmpty()) {
            GTEST_SKIP() << app.missingLibrary().toStdString() << " is not built";
        }
        panel = app.window().keyedPanel();
        app.showTab(kKeyedTab);
    }

    QStringList writeFiles(const std::vector<int>& sizes, std::vector<QByteArray>& originals) {
        QStringList paths;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            originals.push_back(sampleBytes(sizes[i], static_cast<int>(i) + 3));
            paths.append(app.writeFile(QStringLiteral("keyed%1.bin").arg(i), originals.back()));
        }
        return paths;
    }

    void clickRun() {
        app.tick();
        ASSERT_TRUE(control<QPushButton>(*panel, "cmdVovEnc")->isEnabled());
        QTest::mouseClick(control<QPushButton>(*panel, "cmdVovEnc"), Qt::LeftButton);
    }

    const ScriptedUiServices::Call& lastCall() { return app.ui().calls().back(); }

    PanelTestWindow app;
    dozo::KeyedPanel* panel = nullptr;
};

// The key reaches the library in code page 932; a second run restores.
TEST_F(AppKeyedPanel, KeysEveryFileAsTheLibraryDoesAndASecondRunRestores) {
    DirectLibrary direct(QStringLiteral("Vod32"));
    struct KeyCase {
        const char* name;
        QString typed;
        QByteArray bytes;
    };
    const KeyCase keys[] = {
        {"Kanji", QStringLiteral("暗号"), QByteArray("\x88\xC3\x8D\x86")},
        {"Spaces", QStringLiteral("   "), QByteArray("   ")},
        {"Longest", QString(255, QChar(u'k')), QByteArray(255, 'k')},
        {"MixedWidth", QStringLiteral("ｶﾅ鍵key"),
         QByteArray("\xB6\xC5\x8C\xAE"
                    "key")},
    };
    std::vector<QByteArray> originals;
    const QStringList paths = writeFiles({0, 1, 255, 256, 70000}, originals);
    panel->lstVov_OLEDragDrop(paths);
    for (const KeyCase& k : keys) {
        SCOPED_TRACE(k.name);
        control<QLineEdit>(*panel, "txtKey")->clear();
        // Typed where the test's key events can carry the characters.
        if (k.typed == QString::fromLatin1(k.typed.toLatin1())) {
            QTest::keyClicks(control<QLineEdit>(*panel, "txtKey"), k.typed);
        } else {
            control<QLineEdit>(*panel, "txtKey")->setText(k.typed);
        }
        ASSERT_EQ(control<QLineEdit>(*panel, "txtKey")->text(), k.typed);

        QSignalSpy steps(control<QProgressBar>(*panel, "VovPrg"), &QProgressBar::valueChanged);
        app.ui().answerSecret(k.typed);  // typed masked: asked again
        app.ui().answerMessage(Answer::Ok);
        clickRun();
        for (std::size_t i = 0; i < originals.size(); ++i) {
            EXPECT_EQ(PanelTestWindow::readFile(paths[static_cast<int>(i)]),
                      direct.keyed(k.bytes, originals[i]));
        }
        EXPECT_EQ(lastCall().text, QStringLiteral("処理が完了しました。"));
        EXPECT_EQ(lastCall().icon, Icon::Information);
        std::vector<int> seen;
        for (const auto& args : steps) seen.push_back(args.at(0).toInt());
        EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 0}));

        app.ui().answerSecret(k.typed);  // typed masked: asked again
        app.ui().answerMessage(Answer::Ok);
        clickRun();
        for (std::size_t i = 0; i < originals.size(); ++i) {
            EXPECT_EQ(PanelTestWindow::readFile(paths[static_cast<int>(i)]), originals[i]);
        }
    }
    EXPECT_EQ(control<QListWidget>(*panel, "lstVov")->count(), 5);
    EXPECT_EQ(control<QProgressBar>(*panel, "VovPrg")->value(), 0);
    EXPECT_FALSE(QFile::exists(app.window().workDirectory().workFile()));
}

// A key typed masked is typed again before any file is touched: a second
// entry that differs (a typo nobody saw) rewrites nothing, nor does a
// cancelled one. Shown in the field, or the initial key, it is not asked.
TEST_F(AppKeyedPanel, AKeyTypedMaskedIsAskedAgainBeforeAnyFile) {
    DirectLibrary direct(QStringLiteral("Vod32"));
    std::vector<QByteArray> originals;
    const QStringList paths = writeFiles({10, 3000}, originals);
    panel->lstVov_OLEDragDrop(paths);
    auto* key = control<QLineEdit>(*panel, "txtKey");
    key->setFocus();
    QTest::keyClick(key, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(key, QStringLiteral("secret7"));
    ASSERT_EQ(key->echoMode(), QLineEdit::Password);
    // Every file keyed with `with`, or, with none, as it was.
    const auto expectFiles = [&](const char* with = nullptr) {
        for (std::size_t i = 0; i < originals.size(); ++i) {
            EXPECT_EQ(PanelTestWindow::readFile(paths[int(i)]),
                      with ? direct.keyed(with, originals[i]) : originals[i]);
        }
    };

    const std::size_t before = app.ui().calls().size();
    app.ui().answerSecret(QStringLiteral("secret8"));
    app.ui().answerMessage(Answer::Ok);
    clickRun();
    ASSERT_EQ(app.ui().calls().size(), before + 2);
    const auto& asked = app.ui().calls()[before];
    EXPECT_EQ(asked.kind, Kind::Secret);
    EXPECT_EQ(asked.title, QStringLiteral("Vuvurazir"));
    EXPECT_TRUE(asked.text.contains(QStringLiteral("もう一度"))) << asked.text.toStdString();
    EXPECT_EQ(lastCall().icon, Icon::Error);
    EXPECT_TRUE(lastCall().text.contains(QStringLiteral("一致しません")));
    expectFiles();

    app.ui().answerSecret(std::nullopt);
    clickRun();
    EXPECT_EQ(app.ui().calls().size(), before + 3) << "a cancelled entry says nothing more";
    expectFiles();

    app.ui().answerSecret(QStringLiteral("secret7"));
    app.ui().answerMessage(Answer::Ok);
    clickRun();
    expectFiles("secret7");

    // Shown, the key is seen as typed: a second run restores unasked. (The
    // toggle's button is clicked in AppSecretField.)
    QAction* show = control<QAction>(*key, "txtKeyShow");
    show->trigger();
    ASSERT_EQ(key->echoMode(), QLineEdit::Normal);
    app.ui().answerMessage(Answer::Ok);
    clickRun();
    expectFiles();

    // The initial key, masked again: nothing to mistype.
    show->trigger();
    key->clear();
    app.ui().answerMessage(Answer::Ok);
    clickRun();
    EXPECT_EQ(key->text(), QString::fromLatin1(dozo::KeyedPanel::kDefaultKey));
    expectFiles(dozo::KeyedPanel::kDefaultKey);
}

TEST_F(AppKeyedPanel, AnEmptyKeyBoxIsRefilledAndThatKeyUsed) {
    DirectLibrary direct(QStringLiteral("Vod32"));
    const QString initial = control<QLineEdit>(*panel, "txtKey")->text();
    ASSERT_EQ(initial.size(), 1);
    ASSERT_TRUE(initial[0].isDigit());
    std::vector<QByteArray> originals;
    const QStringList paths = writeFiles({100, 3000}, originals);
    panel->lstVov_OLEDragDrop(paths);
    control<QLineEdit>(*panel, "txtKey")->clear();

    app.ui().answerMessage(Answer::Ok);
    clickRun();
    EXPECT_EQ(control<QLineEdit>(*panel, "txtKey")->text(), initial);
    for (std::size_t i = 0; i < originals.size(); ++i) {
        EXPECT_EQ(PanelTestWindow::readFile(paths[static_cast<int>(i)]),
                  direct.keyed(initial.toLatin1(), originals[i]));
    }
}

// Refused keys: a message, and not one file touched, not even its time.
TEST_F(AppKeyedPanel, AKeyTheCodePageCannotHoldIsRefusedBeforeAnyFile) {
    std::vector<QByteArray> originals;
    const QStringList paths = writeFiles({10, 20}, originals);
    const QDateTime stamp = QFileInfo(paths[0]).lastModified();
    panel->lstVov_OLEDragDrop(paths);
    for (const QString& key :
         {QStringLiteral("𠮷"), QStringLiteral("pass😀"), QString(128, QChar(u'鍵'))}) {
        SCOPED_TRACE(key.toStdString());
        control<QLineEdit>(*panel, "txtKey")->setText(key);
        QSignalSpy steps(control<QProgressBar>(*panel, "VovPrg"), &QProgressBar::valueChanged);
        app.ui().answerMessage(Answer::Ok);
        clickRun();
        EXPECT_EQ(lastCall().kind, Kind::MessageBox);
        EXPECT_EQ(lastCall().icon, Icon::Error);
        EXPECT_EQ(lastCall().title, QStringLiteral("Vuvurazir"));
        EXPECT_TRUE(lastCall().text.contains(QStringLiteral("ファイルは変更されていません")));
        EXPECT_EQ(steps.count(), 0);
        EXPECT_EQ(control<QLineEdit>(*panel, "txtKey")->text(), key)
            << "the key is left for the user to correct";
        for (std::size_t i = 0; i < originals.size(); ++i) {
            EXPECT_EQ(PanelTestWindow::readFile(paths[static_cast<int>(i)]), originals[i]);
        }
        EXPECT_EQ(QFileInfo(paths[0]).lastModified(), stamp);
        EXPECT_FALSE(QFile::exists(app.window().workDirectory().workFile()));
    }
}

TEST_F(AppKeyedPanel, MissingAndReadOnlyFilesAreReportedAndTheOthersKeyed) {
    DirectLibrary direct(QStringLiteral("Vod32"));
    const QByteArray first = sampleBytes(4000, 1);
    const QByteArray locked = sampleBytes(4001, 2);
    const QByteArray last = sampleBytes(4002, 3);
    const QString firstPath = app.writeFile(QStringLiteral("first"), first);
    const QString missing = app.filePath(QStringLiteral("not-there"));
    const QString lockedPath = app.writeFile(QStringLiteral("locked"), locked);
    ASSERT_TRUE(QFile::setPermissions(lockedPath, QFile::ReadOwner));
    const QString lastPath = app.writeFile(QStringLiteral("last"), last);
    panel->lstVov_OLEDragDrop({firstPath, missing, lockedPath, lastPath});
    control<QLineEdit>(*panel, "txtKey")->setText(QStringLiteral("鍵"));

    app.ui().answerSecret(QStringLiteral("鍵"));  // typed masked: asked again
    app.ui().answerMessage(Answer::Ok);
    clickRun();
    const QByteArray key = *dozo::toCodePage932(QStringLiteral("鍵"));
    EXPECT_EQ(PanelTestWindow::readFile(firstPath), direct.keyed(key, first));
    EXPECT_EQ(PanelTestWindow::readFile(lastPath), direct.keyed(key, last));
    EXPECT_EQ(PanelTestWindow::readFile(lockedPath), locked);
    EXPECT_EQ(lastCall().icon, dozo::UiServices::Icon::Error);
    const QString text = lastCall().text;
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("4 個のファイルのうち 2 個を処理できませんでした。")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(missing + QStringLiteral("\n    ファイルが見つかりません")));
    EXPECT_TRUE(text.contains(lockedPath + QStringLiteral("\n    読み取り専用です")));
    EXPECT_EQ(control<QListWidget>(*panel, "lstVov")->count(), 4);
    QFile::setPermissions(lockedPath, QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace
