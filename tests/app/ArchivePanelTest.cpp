// The archive panel on the real window with the real archiver: the list,
// packing through the list file, unpacking into a folder named after the
// archive, and what the user is told.
#include "Controls.h"
#include "RealLibraryWindow.h"

#include "app/panels/ArchivePanel.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {
// The archiver's fchmod, made to fail with this errno while it is not 0.
std::atomic<int> failingFchmod{0};
}  // namespace

// Stands in front of the C library's for the whole test program (exported to
// the libraries it loads, see CMakeLists.txt); unarmed it is the system call.
extern "C" int fchmod(int fd, mode_t mode) noexcept {
    if (const int error = failingFchmod.load(); error != 0) {
        errno = error;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fchmod, fd, mode));
}

namespace {

using Answer = dozo::UiServices::Answer;
using Icon = dozo::UiServices::Icon;
using Kind = ScriptedUiServices::Kind;

// Each instance of a table is named after its case.
constexpr auto kArchiveCaseName = [](const auto& test) { return std::string(test.param.name); };

class AppArchivePanel : public testing::Test {
protected:
    void SetUp() override {
        if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
        env.window().SSTab1()->setCurrentIndex(1);
        FL = control<QListWidget>(env.window(), "FL");
        ASSERT_NE(FL, nullptr);
    }

    QString listFile() { return env.window().workDirectory().listFile(); }
    QString listFolder() { return env.window().workDirectory().listFolder(); }

    RealLibraryWindow env;
    QListWidget* FL = nullptr;
};

TEST_F(AppArchivePanel, DropAppendsEveryPathInOrderKeepingDuplicates) {
    RealLibraryWindow::drop(FL, {"/d/one", "/d/two", "/d/three"});
    RealLibraryWindow::drop(FL, {"/d/two"});
    EXPECT_EQ(entries(FL), (QStringList{"/d/one", "/d/two", "/d/three", "/d/two"}));
    EXPECT_TRUE(env.ui().calls().empty());
}

struct RemoveCase {
    const char* name;
    std::vector<int> selected;  // 1-based, as the user counts them
    QStringList left;
    const char* message;
};

class AppArchiveRemove : public AppArchivePanel, public testing::WithParamInterface<RemoveCase> {};

TEST_P(AppArchiveRemove, RemovesTheSelectedAndCountsThem) {
    RealLibraryWindow::drop(FL, {"/f1", "/f2", "/f3", "/f4", "/f5", "/f6"});
    FL->clearSelection();
    for (std::size_t i = 0; i < GetParam().selected.size(); ++i) {
        QListWidgetItem* item = FL->item(GetParam().selected[i] - 1);
        QTest::mouseClick(FL->viewport(), Qt::LeftButton,
                          i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                          FL->visualItemRect(item).center());
    }
    ASSERT_EQ(FL->selectedItems().size(), static_cast<qsizetype>(GetParam().selected.size()));
    env.ui().answerMessage(Answer::Ok);
    env.click("cmdDelete");
    EXPECT_EQ(entries(FL), GetParam().left);
    const auto& shown = env.ui().calls().back();
    EXPECT_EQ(shown.text, QString::fromUtf8(GetParam().message));
    EXPECT_EQ(shown.title, "Vuvurazir");
    EXPECT_EQ(shown.icon, Icon::Information);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, AppArchiveRemove,
    testing::Values(RemoveCase{"None",
                               {},
                               {"/f1", "/f2", "/f3", "/f4", "/f5", "/f6"},
                               "0個のファイルを解除しました。"},
                    RemoveCase{"FirstThirdFourth",
                               {1, 3, 4},
                               {"/f2", "/f5", "/f6"},
                               "3個のファイルを解除しました。"},
                    RemoveCase{"All", {6, 1, 2, 3, 4, 5}, {}, "6個のファイルを解除しました。"}),
    kArchiveCaseName);

TEST_F(AppArchivePanel, ClearAsksFirstAndKeepsEverythingOnNo) {
    RealLibraryWindow::drop(FL, {"/a", "/b"});
    env.ui().answerMessage(Answer::No);
    env.click("cmdClear");
    EXPECT_EQ(entries(FL), (QStringList{"/a", "/b"}));
    const auto& asked = env.ui().calls().back();
    EXPECT_EQ(asked.text, QStringLiteral("全ての項目を解除しますか？"));
    EXPECT_EQ(asked.buttons, dozo::UiServices::Buttons::YesNo);
    EXPECT_EQ(asked.icon, Icon::Question);

    env.ui().answerMessage(Answer::Yes);
    env.click("cmdClear");
    EXPECT_EQ(FL->count(), 0);
    // Yes on an empty list shows nothing more than the question.
    env.ui().answerMessage(Answer::Yes);
    env.click("cmdClear");
    EXPECT_EQ(env.ui().calls().size(), 3u);
}

TEST_F(AppArchivePanel, PackedFilesComeBackByteForByteThroughLhasaAndOurUnpack) {
    QByteArray big;
    for (int i = 0; i < 200000; ++i) big.append(static_cast<char>((i * 7919) >> 3));
    const QList<QPair<QString, QByteArray>> files = {
        {"alpha.txt", "alpha\nbeta\n"}, {"with space.bin", big}, {"empty", ""}};
    const QStringList paths = env.makeFiles("src", files);
    const QString archive = env.scratch("packed.lzh");

    const auto done = env.pack(paths, archive);
    EXPECT_EQ(done.text, kPacked);
    EXPECT_EQ(done.icon, Icon::Information);
    EXPECT_FALSE(QFile::exists(listFile()));
    EXPECT_FALSE(QFileInfo::exists(listFolder()));
    EXPECT_EQ(entries(FL), paths) << "the list stays after a pack";

    if (!RealLibraryWindow::lhasa().isEmpty()) {
        QDir().mkpath(env.scratch("bylhasa"));
        QByteArray out;
        ASSERT_EQ(
            RealLibraryWindow::runProgram(RealLibraryWindow::lhasa(),
                                          {"xqfw=" + env.scratch("bylhasa"), archive}, {}, &out),
            0)
            << out.toStdString();
        for (const auto& [name, bytes] : files) {
            EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("bylhasa/" + name)), bytes)
                << name.toStdString();
        }
    }

    QDir().mkpath(env.scratch("ours"));
    const auto unpacked = env.unpack(archive, env.scratch("ours"));
    EXPECT_EQ(unpacked.text, kUnpacked);
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("ours/packed/" + name)), bytes)
            << name.toStdString();
    }
}

struct ExistingArchiveCase {
    const char* name;
    bool exists;
    Answer answer;  // to the question, when there is one
};

class AppArchiveExisting : public AppArchivePanel,
                           public testing::WithParamInterface<ExistingArchiveCase> {};

// Qt's save dialog asked "replace it?" of an existing archive, and the pack
// then added to it: the user who said yes handed on an archive that still
// held files never listed. The dialog no longer asks that; the tab asks
// whether to add to the archive, and a No leaves it as it was.
TEST_P(AppArchiveExisting, AnExistingArchiveIsAddedToOnlyWhenTheUserSaysSo) {
    const ExistingArchiveCase& c = GetParam();
    const QString archive = env.scratch("kept.lzh");
    if (c.exists) {
        ASSERT_EQ(env.pack(env.makeFiles("old", {{"old.txt", "earlier"}}), archive).text, kPacked);
    }
    const QByteArray before = c.exists ? RealLibraryWindow::readAll(archive) : QByteArray();
    FL->clear();
    RealLibraryWindow::drop(FL, env.makeFiles("new", {{"new.txt", "listed now"}}));
    const std::size_t asked = env.ui().calls().size();
    env.ui().answerSaveFile(archive);
    if (c.exists) env.ui().answerMessage(c.answer);
    const bool packs = !c.exists || c.answer == Answer::Yes;
    if (packs) env.ui().answerMessage(Answer::Ok);
    env.click("cmdCompress");

    const auto& calls = env.ui().calls();
    ASSERT_EQ(calls.size(), asked + 1 + (c.exists ? 1 : 0) + (packs ? 1 : 0));
    EXPECT_FALSE(calls[asked].asksToReplace) << "the save dialog asks to replace";
    if (c.exists) {
        const auto& question = calls[asked + 1];
        EXPECT_EQ(question.buttons, dozo::UiServices::Buttons::YesNo);
        EXPECT_EQ(question.icon, Icon::Question);
        EXPECT_TRUE(question.text.contains(archive)) << question.text.toStdString();
    }
    if (!packs) {
        EXPECT_EQ(RealLibraryWindow::readAll(archive), before);
        EXPECT_FALSE(QFile::exists(listFile()));
        return;
    }
    EXPECT_EQ(calls.back().text, kPacked);
    QDir().mkpath(env.scratch("out"));
    ASSERT_EQ(env.unpack(archive, env.scratch("out")).text, kUnpacked);
    EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("out/kept/new.txt")), "listed now");
    EXPECT_EQ(QFile::exists(env.scratch("out/kept/old.txt")), c.exists);
}

INSTANTIATE_TEST_SUITE_P(Cases, AppArchiveExisting,
                         testing::Values(ExistingArchiveCase{"New", false, Answer::Ok},
                                         ExistingArchiveCase{"ExistingNo", true, Answer::No},
                                         ExistingArchiveCase{"ExistingYes", true, Answer::Yes}),
                         kArchiveCaseName);

struct ListFileCase {
    const char* name;
    QStringList names;
    const char* expected;  // with %1 for the source folder
};

class AppArchiveListFile : public AppArchivePanel,
                           public testing::WithParamInterface<ListFileCase> {};

// The list file is only left behind by a failed pack, so a pack into a folder
// that does not exist shows what was written.
TEST_P(AppArchiveListFile, FailedPackLeavesTheExactListWhichTheNextPackReuses) {
    QList<QPair<QString, QByteArray>> files;
    for (const QString& name : GetParam().names) files.append({name, name.toUtf8()});
    const QStringList paths = env.makeFiles("src", files);

    const auto failed = env.pack(paths, env.scratch("missing/folder/out.lzh"));
    EXPECT_TRUE(failed.text.startsWith(kAborted + "\r\n")) << failed.text.toStdString();
    EXPECT_GT(failed.text.size(), kAborted.size() + 2) << "the archiver's reason is missing";
    EXPECT_EQ(failed.icon, Icon::Error);
    EXPECT_EQ(RealLibraryWindow::readAll(listFile()),
              QString::fromUtf8(GetParam().expected).arg(env.scratch("src")).toUtf8());
    EXPECT_FALSE(QFileInfo::exists(env.scratch("missing")));

    // A stale longer list must not survive into the next one.
    RealLibraryWindow::writeAll(listFile(), QByteArray(4096, 'x'));
    const auto done = env.pack(paths, env.scratch("out.lzh"));
    EXPECT_EQ(done.text, kPacked);
    EXPECT_FALSE(QFileInfo::exists(listFolder()));
    QDir().mkpath(env.scratch("check"));
    EXPECT_EQ(env.unpack(env.scratch("out.lzh"), env.scratch("check")).text, kUnpacked);
    for (const QString& name : GetParam().names) {
        EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("check/out/" + name)), name.toUtf8());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, AppArchiveListFile,
    testing::Values(ListFileCase{"One", {"one.txt"}, "%1/one.txt\r\n"},
                    ListFileCase{"Two", {"one.txt", "two.txt"}, "%1/one.txt\r\n%1/two.txt\r\n"},
                    ListFileCase{"TwoWithASpace",
                                 {"my file.txt", "two.txt"},
                                 "\"%1/my file.txt\"\r\n%1/two.txt\r\n"}),
    kArchiveCaseName);

// With no list file the archiver would be handed a missing or stale one and
// pack the wrong files; the pack stops before the archiver instead.
TEST_F(AppArchivePanel, AListFileThatCannotBeWrittenStopsThePack) {
    RealLibraryWindow::writeAll(listFolder(), "a file where the list folder belongs");
    const QStringList paths = env.makeFiles("src", {{"a.txt", "a"}});
    const auto failed = env.pack(paths, env.scratch("out.lzh"));
    EXPECT_TRUE(failed.text.startsWith(kAborted + "\r\n")) << failed.text.toStdString();
    EXPECT_TRUE(failed.text.contains(listFile())) << failed.text.toStdString();
    EXPECT_EQ(failed.icon, Icon::Error);
    EXPECT_FALSE(QFile::exists(env.scratch("out.lzh")));
    EXPECT_EQ(RealLibraryWindow::readAll(listFolder()), "a file where the list folder belongs");
}

TEST_F(AppArchivePanel, UnpacksIntoAFolderNamedUpToTheFirstDot) {
    const QStringList paths = env.makeFiles("src", {{"inside.txt", "payload"}});
    ASSERT_EQ(env.pack(paths, env.scratch("data.backup.lzh")).text, kPacked);
    QDir().mkpath(env.scratch("dest"));

    const auto done = env.unpack(env.scratch("data.backup.lzh"), env.scratch("dest"));
    EXPECT_EQ(done.text, kUnpacked);
    EXPECT_EQ(done.icon, Icon::Information);
    EXPECT_EQ(control<QLabel>(env.window(), "L1")->text(), "data");
    EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("dest/data/inside.txt")), "payload");
    const auto& browse = env.ui().calls().at(env.ui().calls().size() - 2);
    EXPECT_EQ(browse.kind, Kind::BrowseFolder);
    EXPECT_EQ(browse.text, QStringLiteral("展開するディレクトリを選択してください。"));
    const auto& open = env.ui().calls().at(env.ui().calls().size() - 3);
    EXPECT_EQ(open.title, QStringLiteral("書庫ファイル名"));
    EXPECT_EQ(open.filter, QStringLiteral("LHA書庫 (*.lzh)|*.lzh"));
}

// What the archiver could not do while unpacking fails nothing, but the
// closing message says it, as it does for a pack: a file system that refuses
// modes (a FAT stick) is stood in for by fchmod failing.
TEST_F(AppArchivePanel, UnpackWarningsCloseTheCompletionMessage) {
    const QStringList paths = env.makeFiles("src", {{"inside.txt", "payload"}});
    ASSERT_EQ(env.pack(paths, env.scratch("modes.lzh")).text, kPacked);
    QDir().mkpath(env.scratch("dest"));

    failingFchmod = EPERM;
    const auto done = env.unpack(env.scratch("modes.lzh"), env.scratch("dest"));
    failingFchmod = 0;
    EXPECT_EQ(done.text.left(done.text.indexOf(QLatin1Char('('))),
              kUnpacked + QStringLiteral("\r\n警告: ファイルの属性を戻せません: inside.txt "))
        << done.text.toStdString();
    EXPECT_EQ(done.icon, Icon::Information);
    EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("dest/modes/inside.txt")), "payload");
}

TEST_F(AppArchivePanel, ANonArchiveIsNamedAndNoFolderIsLeft) {
    const QStringList paths = env.makeFiles("src", {{"notes.txt", "just text, no archive\n"}});
    QDir().mkpath(env.scratch("dest"));
    const auto refused = env.unpack(paths.first(), env.scratch("dest"));
    EXPECT_EQ(refused.text, QStringLiteral("【") + paths.first() +
                                QStringLiteral("】は\r\n展開可能な書庫ファイルではありません。"));
    EXPECT_EQ(refused.icon, Icon::Error);
    EXPECT_FALSE(QFileInfo::exists(env.scratch("dest/notes")));
}

TEST_F(AppArchivePanel, DamagedArchiveDataIsReportedWithTheArchiversReason) {
    QByteArray text;
    for (int i = 0; i < 5000; ++i) text += "line " + QByteArray::number(i) + "\n";
    const QStringList paths = env.makeFiles("src", {{"big.txt", text}});
    const QString archive = env.scratch("damaged.lzh");
    ASSERT_EQ(env.pack(paths, archive).text, kPacked);
    QByteArray bytes = RealLibraryWindow::readAll(archive);
    ASSERT_GT(bytes.size(), 200);
    // The headers stay intact, the compressed data does not.
    for (qsizetype i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) bytes[i] = ~bytes[i];
    RealLibraryWindow::writeAll(archive, bytes);

    QDir().mkpath(env.scratch("dest"));
    const auto failed = env.unpack(archive, env.scratch("dest"));
    EXPECT_TRUE(failed.text.startsWith(kAborted + "\r\n")) << failed.text.toStdString();
    EXPECT_GT(failed.text.size(), kAborted.size() + 2);
    EXPECT_EQ(failed.icon, Icon::Error);
    EXPECT_FALSE(QFile::exists(env.scratch("dest/damaged/big.txt")));
}

struct OverwriteCase {
    const char* name;
    bool overwrite;
    bool replaced;
};

class AppArchiveExistingFolder : public AppArchivePanel,
                                 public testing::WithParamInterface<OverwriteCase> {};

TEST_P(AppArchiveExistingFolder, FilesAreReplacedOnlyWhenTheArchiverIsSetToOverwrite) {
    env.setArchiverOverwrite(GetParam().overwrite);
    const QStringList paths = env.makeFiles("src", {{"kept.txt", "from the archive"}});
    ASSERT_EQ(env.pack(paths, env.scratch("set.lzh")).text, kPacked);
    QDir().mkpath(env.scratch("dest/set"));
    RealLibraryWindow::writeAll(env.scratch("dest/set/kept.txt"), "edited by the user");

    const auto shown = env.unpack(env.scratch("set.lzh"), env.scratch("dest"));
    if (GetParam().replaced) {
        EXPECT_EQ(shown.text, kUnpacked);
        EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("dest/set/kept.txt")), "from the archive");
    } else {
        EXPECT_TRUE(shown.text.startsWith(kAborted + "\r\n")) << shown.text.toStdString();
        EXPECT_EQ(shown.icon, Icon::Error);
        EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("dest/set/kept.txt")),
                  "edited by the user");
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, AppArchiveExistingFolder,
                         testing::Values(OverwriteCase{"Keep", false, false},
                                         OverwriteCase{"Overwrite", true, true}),
                         kArchiveCaseName);

TEST_F(AppArchivePanel, CancelledDialogsCreateNothingAndSayNothing) {
    const QStringList paths = env.makeFiles("src", {{"a.txt", "a"}});
    RealLibraryWindow::drop(FL, paths);
    const QString cwd = QDir::currentPath();
    QDir().mkpath(env.scratch("cwd"));
    ASSERT_TRUE(QDir::setCurrent(env.scratch("cwd")));

    env.ui().answerSaveFile(std::nullopt);
    env.click("cmdCompress");
    EXPECT_FALSE(QFileInfo::exists(listFolder()));

    env.ui().answerOpenFile(std::nullopt);
    env.click("cmdDevelop");

    // With the folder browser cancelled nothing is unpacked anywhere, not even
    // into the current folder.
    ASSERT_EQ(env.pack(paths, env.scratch("x.lzh")).text, kPacked);
    env.ui().answerOpenFile(env.scratch("x.lzh"));
    env.ui().answerFolder(std::nullopt);
    env.click("cmdDevelop");
    EXPECT_TRUE(QDir(env.scratch("cwd")).isEmpty());
    QDir::setCurrent(cwd);

    // Every dialog opened with an empty name, and only the pack spoke.
    int messages = 0;
    for (const auto& call : env.ui().calls()) {
        EXPECT_TRUE(call.proposedName.isEmpty());
        if (call.kind == Kind::MessageBox) ++messages;
    }
    EXPECT_EQ(messages, 1);
}

// The closing messages name what was written and where: the archive and
// its folder, the folder unpacked into, which its button opens.
TEST_F(AppArchivePanel, TheMessagesNameWhatWasWrittenAndOpenItsFolder) {
    const QStringList paths = env.makeFiles("src", {{"a.txt", "a"}});
    const auto packed = env.pack(paths, env.scratch("set.lzh"));
    EXPECT_EQ(packed.text, kPacked);
    EXPECT_EQ(packed.buttons, dozo::UiServices::Buttons::OkOpenFolder);
    EXPECT_EQ(packed.details,
              QStringLiteral("作成したファイル：set.lzh\r\n場所：") + env.scratch());

    QDir().mkpath(env.scratch("out"));
    env.ui().answerOpenFile(env.scratch("set.lzh"));
    env.ui().answerFolder(env.scratch("out"));
    env.ui().answerMessage(Answer::OpenFolder);
    env.ui().answerOpenDocument(false);
    env.ui().answerMessage(Answer::Ok);
    env.click("cmdDevelop");
    const auto& calls = env.ui().calls();
    ASSERT_GE(calls.size(), 3u);
    const auto& unpacked = calls[calls.size() - 3];
    EXPECT_EQ(unpacked.text, kUnpacked);
    EXPECT_EQ(unpacked.details, QStringLiteral("展開先：set\r\n場所：") + env.scratch("out"));
    EXPECT_EQ(calls[calls.size() - 2].text, env.scratch("out/set"));
    // No file manager: said, not passed over.
    EXPECT_EQ(calls.back().icon, Icon::Error);
}

}  // namespace
