// A folder dropped on a list is held to the files its walk met: one swapped
// for a link to a file outside it before the run is failed by name on every
// tab, and what the link points at stays as it was.
#include "Controls.h"
#include "DirectLibrary.h"
#include "RealLibraryWindow.h"

#include "app/panels/ArchivePanel.h"
#include "app/panels/FileListCommands.h"
#include "app/panels/KeyedPanel.h"
#include "app/panels/TransformPanel.h"
#include "core/text/Reasons.h"

#include <files.h>

#include <dozo/contracts/rozu32.h>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QScopeGuard>
#include <QSignalSpy>
#include <filesystem>
#include <functional>

#include <sys/stat.h>

namespace {

using Answer = dozo::UiServices::Answer;

TEST(AppDroppedFolder, AFileSwappedForALinkSinceTheDropIsFailedAndItsTargetKept) {
    RealLibraryWindow env({QStringLiteral("Rozu32"), QStringLiteral("Vod32")});
    if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
    dozo::frmMain& w = env.window();
    const DirectLibrary rozu32(QStringLiteral("Rozu32"));
    const DirectLibrary vod32(QStringLiteral("Vod32"));
    const struct {
        const char* list;
        int tab;
        std::function<void()> run;
        // What a run makes of a file; none: the pack is refused, nothing packed.
        std::function<QByteArray(const QByteArray&)> processed;
    } rows[] = {
        {"FL", 1, [&] { w.archivePanel()->cmdCompress_Click(); }, {}},
        {"IFN", 2, [&] { w.transformPanel()->cmdEnc_Click(); },
         [&](const QByteArray& bytes) {
             return rozu32.transform(dozo::contracts::kTransformMethods[0], bytes);
         }},
        {"lstVov", 3, [&] { w.keyedPanel()->cmdVovEnc_Click(); },
         [&](const QByteArray& bytes) {
             return vod32.keyed(dozo::KeyedPanel::kDefaultKey, bytes);
         }},
    };
    const QByteArray secret = "the user's own key, outside the folder";
    const QString reason = dozo::Reasons::transform(dozo::Reasons::kReplacedSinceWalk, {});
    const auto original = [](qsizetype i) { return QByteArray(100 + i, char('a' + i)); };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.list);
        const QString tree = env.scratch(QLatin1String(row.list));
        ASSERT_TRUE(QDir().mkpath(tree + "/sub"));
        const QString outside = env.scratch(QLatin1String(row.list) + "-id_ed25519");
        RealLibraryWindow::writeAll(outside, secret);
        const QStringList files = {tree + "/a.txt", tree + "/b.txt", tree + "/sub/c.bin"};
        for (qsizetype i = 0; i < files.size(); ++i)
            RealLibraryWindow::writeAll(files[i], original(i));
        const QString& swapped = files[1];

        w.SSTab1()->setCurrentIndex(row.tab);
        auto* list = control<QListWidget>(w, QLatin1String(row.list));
        ASSERT_NE(list, nullptr);
        RealLibraryWindow::drop(list->viewport(), {tree});
        ASSERT_EQ(list->count(), files.size());
        ASSERT_TRUE(QFile::remove(swapped));
        ASSERT_TRUE(QFile::link(outside, swapped));

        // A second run over the same list: the files the first one rewrote
        // are new files under the walked names, and are taken again.
        QList<QByteArray> expected = {original(0), original(2)};
        const QString archive = env.scratch(QLatin1String(row.list) + ".lzh");
        for (int pass = 1; pass <= (row.processed ? 2 : 1); ++pass) {
            SCOPED_TRACE(pass);
            if (!row.processed) env.ui().answerSaveFile(archive);
            env.ui().answerMessage(Answer::Ok);
            row.run();

            EXPECT_EQ(RealLibraryWindow::readAll(outside), secret);
            EXPECT_TRUE(QFileInfo(swapped).isSymLink());
            const QString shown = env.ui().calls().back().text;
            EXPECT_TRUE(shown.contains(swapped) && shown.contains(reason)) << shown.toStdString();
            if (!row.processed) {
                EXPECT_FALSE(QFileInfo::exists(archive));
                continue;
            }
            for (QByteArray& bytes : expected) bytes = row.processed(bytes);
            EXPECT_EQ(RealLibraryWindow::readAll(files[0]), expected[0]);
            EXPECT_EQ(RealLibraryWindow::readAll(files[2]), expected[1]);
        }
    }
}

// A drop goes into a list in one insertion, however many files its folders
// give: entry by entry, the view's work grew with the square of the count
// and a large folder froze the window. The folder's entries keep the
// identities their walk saw; a loose file dropped beside them has none.
TEST(AppDroppedFolder, AFolderOfManyFilesIsListedInOneStep) {
    RealLibraryWindow env;
    if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
    dozo::frmMain& w = env.window();
    constexpr int kFiles = 40;
    QList<QPair<QString, QByteArray>> many;
    for (int i = 0; i < kFiles; ++i)
        many.append({QStringLiteral("f%1").arg(i, 3, 10, QChar('0')), "x"});
    for (const auto& [name, tab] : {std::pair{"FL", 1}, {"IFN", 2}, {"lstVov", 3}}) {
        SCOPED_TRACE(name);
        const QStringList files = env.makeFiles(QLatin1String(name), many);
        const QString loose = env.makeFiles(QLatin1String(name) + ".loose", {{"loose", "x"}})[0];

        w.SSTab1()->setCurrentIndex(tab);
        auto* list = control<QListWidget>(w, QLatin1String(name));
        ASSERT_NE(list, nullptr);
        list->addItem(QStringLiteral("/listed/before"));
        QSignalSpy inserted(list->model(), &QAbstractItemModel::rowsInserted);
        RealLibraryWindow::drop(list->viewport(), {loose, env.scratch(QLatin1String(name))});

        EXPECT_EQ(inserted.count(), 1);
        EXPECT_EQ(entries(list), QStringList({"/listed/before", loose}) + files);
        const dozo::FolderWalk::Identities walked = dozo::FileListCommands::walked(list);
        EXPECT_EQ(walked.size(), kFiles);
        EXPECT_FALSE(walked.contains(loose));
        for (const QString& file : files) {
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
            EXPECT_EQ(walked.value(file).inode, quint64(st.st_ino)) << file.toStdString();
        }
    }
}

// A file or folder whose name is not UTF-8 has no QString to be listed under:
// the drop (one function for every list) says so by name instead of leaving
// it out unnoticed.
TEST(AppDroppedFolder, NamesThatAreNotUtf8AreNamedNotLeftOutUnnoticed) {
    RealLibraryWindow env({QStringLiteral("Rozu32"), QStringLiteral("Vod32")});
    if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
    dozo::frmMain& w = env.window();
    const QString tree = env.scratch(QStringLiteral("tree"));
    ASSERT_TRUE(QDir().mkpath(tree));
    RealLibraryWindow::writeAll(tree + "/plain.txt", "listed");
    const std::string raw = QFile::encodeName(tree).toStdString();
    // QTemporaryDir cannot remove names no QString holds: they go here, or
    // every run would leave its folder in /tmp.
    const auto removeRaw = qScopeGuard([&raw] { std::filesystem::remove_all(raw); });
    ASSERT_TRUE(std::filesystem::create_directory(raw + "/sub\xff"));
    for (const std::string& name : {raw + "/x\xe9.txt", raw + "/sub\xff/in.txt"})
        dozo::test::writeFile(name, {});

    w.SSTab1()->setCurrentIndex(2);
    auto* list = control<QListWidget>(w, QStringLiteral("IFN"));
    ASSERT_NE(list, nullptr);
    env.ui().answerMessage(Answer::Ok);
    const std::size_t asked = env.ui().calls().size();
    RealLibraryWindow::drop(list->viewport(), {tree});
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), tree + "/plain.txt");
    ASSERT_EQ(env.ui().calls().size(), asked + 1) << "no box named what was left out";
    const auto& box = env.ui().calls().back();
    EXPECT_EQ(box.icon, dozo::UiServices::Icon::Error);
    for (const char* shown : {"/x\\xe9.txt", "/sub\\xff"})
        EXPECT_TRUE(box.text.contains(tree + QLatin1String(shown))) << box.text.toStdString();
}

}  // namespace
