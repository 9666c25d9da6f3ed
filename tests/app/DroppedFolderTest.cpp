// A folder dropped on a list is one entry. The archive tab packs it with the
// paths below it; the in-place tabs ask, naming it and how many files it
// holds, before they rewrite them, hold each to the file the walk met, and
// name what the walk could not take.
#include "Controls.h"
#include "DirectLibrary.h"
#include "PanelTestWindow.h"
#include "RealLibraryWindow.h"

#include "app/panels/KeyedPanel.h"
#include "core/jobs/BatchOutcome.h"
#include "core/text/Reasons.h"

#include <dozo/contracts/rozu32.h>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <functional>

namespace {

using Answer = dozo::UiServices::Answer;
using Icon = dozo::UiServices::Icon;

// Two files of one name in different folders: flattened, they made the pack
// fail; packed with their paths, each comes back where it was.
TEST(AppDroppedFolder, TheArchiveTabPacksAFolderWithThePathsBelowIt) {
    RealLibraryWindow env;
    if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
    const QString tree = env.scratch(QStringLiteral("d2"));
    ASSERT_TRUE(QDir().mkpath(tree + "/sub"));
    RealLibraryWindow::writeAll(tree + "/q.txt", "top");
    RealLibraryWindow::writeAll(tree + "/sub/q.txt", "below");
    env.window().SSTab1()->setCurrentIndex(1);

    const QString archive = env.scratch(QStringLiteral("tree.lzh"));
    ASSERT_EQ(env.pack({tree}, archive).text, kPacked);
    EXPECT_EQ(entries(control<QListWidget>(env.window(), "FL")), QStringList{tree});
    const QString out = env.scratch(QStringLiteral("out"));
    QDir().mkpath(out);
    ASSERT_EQ(env.unpack(archive, out).text, kUnpacked);
    EXPECT_EQ(RealLibraryWindow::readAll(out + "/tree/d2/q.txt"), "top");
    EXPECT_EQ(RealLibraryWindow::readAll(out + "/tree/d2/sub/q.txt"), "below");
}

// On each in-place tab: No leaves the folder's files as they were and the
// message says so; Yes rewrites them, except one swapped for a link while the
// question was open, which fails by name (its target keeps its bytes).
TEST(AppDroppedFolder, TheInPlaceTabsAskOncePerFolderBeforeRewritingIt) {
    PanelTestWindow app;
    if (!app.missingLibrary().isEmpty()) GTEST_SKIP() << app.missingLibrary().toStdString();
    dozo::frmMain& w = app.window();
    const DirectLibrary rozu32(QStringLiteral("Rozu32"));
    const DirectLibrary vod32(QStringLiteral("Vod32"));
    const struct {
        const char* list;
        const char* run;
        int tab;
        std::function<QByteArray(const QByteArray&)> processed;
    } rows[] = {
        {"IFN", "cmdEnc", 2,
         [&](const QByteArray& bytes) {
             return rozu32.transform(dozo::contracts::kTransformMethods[0], bytes);
         }},
        {"lstVov", "cmdVovEnc", 3,
         [&](const QByteArray& bytes) {
             return vod32.keyed(dozo::KeyedPanel::kDefaultKey, bytes);
         }},
    };
    const QByteArray secret = "the user's own key, outside the folder";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.list);
        const QString tree = app.filePath(QLatin1String(row.list));
        ASSERT_TRUE(QDir().mkpath(tree + "/sub"));
        const QString outside = app.writeFile(QLatin1String(row.list) + "-id_ed25519", secret);
        const QStringList files = {app.writeFile(QLatin1String(row.list) + "/a.txt", "aaaa"),
                                   app.writeFile(QLatin1String(row.list) + "/b.txt", "bbbbb"),
                                   app.writeFile(QLatin1String(row.list) + "/sub/c.bin", "cc")};

        app.showTab(row.tab);
        auto* list = control<QListWidget>(w, QLatin1String(row.list));
        ASSERT_NE(list, nullptr);
        RealLibraryWindow::drop(list->viewport(), {tree});
        ASSERT_EQ(entries(list), QStringList{tree});
        app.tick();

        QStringList shown;
        app.onMessage([&](const QString& text) { shown.append(text); });
        app.ui().answerMessage(Answer::No);
        app.ui().answerMessage(Answer::Ok);
        QTest::mouseClick(control<QPushButton>(w, QLatin1String(row.run)), Qt::LeftButton);
        ASSERT_EQ(shown.size(), 2);
        EXPECT_TRUE(shown[0].contains(QStringLiteral("【%1】").arg(tree)) &&
                    shown[0].contains(QStringLiteral(" 3 個のファイル")))
            << shown[0].toStdString();
        const auto& question = app.ui().calls()[app.ui().calls().size() - 2];
        EXPECT_EQ(question.buttons, dozo::UiServices::Buttons::YesNo);
        EXPECT_EQ(question.icon, Icon::Question);
        EXPECT_EQ(shown[1], QStringLiteral("処理が完了しました。\n\n") +
                                dozo::BatchOutcome::declinedWarning() + ":\n    " + tree);
        EXPECT_EQ(PanelTestWindow::readFile(files[0]), "aaaa");

        // The answer comes after the walk: what is swapped meanwhile is
        // held to the file the walk met.
        shown.clear();
        app.onMessage([&](const QString& text) {
            shown.append(text);
            if (shown.size() > 1) return;
            ASSERT_TRUE(QFile::remove(files[1]));
            ASSERT_TRUE(QFile::link(outside, files[1]));
        });
        app.ui().answerMessage(Answer::Yes);
        app.ui().answerMessage(Answer::Ok);
        QTest::mouseClick(control<QPushButton>(w, QLatin1String(row.run)), Qt::LeftButton);
        ASSERT_EQ(shown.size(), 2);
        EXPECT_EQ(PanelTestWindow::readFile(files[0]), row.processed("aaaa"));
        EXPECT_EQ(PanelTestWindow::readFile(files[2]), row.processed("cc"));
        EXPECT_EQ(PanelTestWindow::readFile(outside), secret);
        EXPECT_TRUE(shown[1].contains(
            files[1] + "\n    " + dozo::Reasons::transform(dozo::Reasons::kReplacedSinceWalk, {})))
            << shown[1].toStdString();
        EXPECT_EQ(entries(list), QStringList{tree}) << "a run that was not stopped keeps its list";
        app.onMessage({});
    }
}

}  // namespace
