// The texts the archive and package panels hand to the archiver, the names
// they derive, and how a pack uses its list file, checked without a window.
#include "TestFolders.h"
#include "core/jobs/ArchiveJob.h"
#include "core/jobs/PackageNames.h"
#include "core/libraries/ArchiveCommands.h"
#include "core/libraries/Library.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <future>

namespace {

using dozo::ArchiveCommands;
using dozo::PackageNames;

struct ListCase {
    const char* name;
    QStringList entries;
    QByteArray text;
};

class CoreArchiveListText : public testing::TestWithParam<ListCase> {};

TEST_P(CoreArchiveListText, OneNameALineQuotedWhereNeeded) {
    EXPECT_EQ(ArchiveCommands::listText(GetParam().entries), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CoreArchiveListText,
    testing::Values(ListCase{"One", {"/d/a.txt"}, "/d/a.txt\r\n"},
                    ListCase{"Two", {"/d/a.txt", "/d/b.bin"}, "/d/a.txt\r\n/d/b.bin\r\n"},
                    // Only an entry with a blank or a quote is quoted; its
                    // neighbours stay bare.
                    ListCase{"BlanksQuoted",
                             {"/d/x", "/d/my file.txt", "/d/photo\t.bash_history"},
                             "/d/x\r\n\"/d/my file.txt\"\r\n\"/d/photo\t.bash_history\"\r\n"},
                    ListCase{"QuoteDoubled", {"/d/a \"b\""}, "\"/d/a \"\"b\"\"\"\r\n"},
                    ListCase{"NonAsciiInFileSystemEncoding",
                             {QStringLiteral("/d/日本語.txt")},
                             QByteArray("/d/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt\r\n")},
                    ListCase{"Empty", {}, ""}),
    [](const testing::TestParamInfo<ListCase>& test) { return std::string(test.param.name); });

TEST(CoreArchiveCommandLines, QuotedPathsAndSpacesExactlyAsTheArchiverReadsThem) {
    EXPECT_EQ(ArchiveCommands::packListCommand("/out/a b.lzh", "/app/TMP/LPF.tmp"),
              "u -a1 -r2 \"/out/a b.lzh\" \"@/app/TMP/LPF.tmp\"");
    EXPECT_EQ(ArchiveCommands::extractCommand("/in/x.lzh", "/dest/x/"),
              "x -a1 \"/in/x.lzh\" \"/dest/x/\"");
    EXPECT_EQ(ArchiveCommands::packFileCommand("/out/report.lzh", "/out/report.exe"),
              "u -a1 \"/out/report.lzh\" \"/out/report.exe\"");
    // A name without an extension goes to the archiver as typed.
    EXPECT_EQ(ArchiveCommands::packListCommand("/out/noext", "/l"),
              "u -a1 -r2 \"/out/noext\" \"@/l\"");
}

TEST(CoreArchiveCommandLines, PathsThatCannotBeQuotedAreRecognised) {
    EXPECT_TRUE(ArchiveCommands::isQuotable("/a b/c"));
    EXPECT_FALSE(ArchiveCommands::isQuotable("/a\"b"));
    EXPECT_EQ(ArchiveCommands::unlistable({"/a", "/b c", "/d\"e", "/f\tg"}), std::nullopt);
    EXPECT_EQ(ArchiveCommands::unlistable({"/a", "/b\nc", "/d\re"}), QStringLiteral("/b\nc"));
    EXPECT_EQ(ArchiveCommands::unlistable({"/a", ""}), QString());
}

struct FolderCase {
    const char* title;
    const char* folder;
};

class CoreUnpackFolderName : public testing::TestWithParam<FolderCase> {};

TEST_P(CoreUnpackFolderName, TitleUpToItsFirstDot) {
    EXPECT_EQ(ArchiveCommands::unpackFolderName(QString::fromUtf8(GetParam().title)).toStdString(),
              GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(Titles, CoreUnpackFolderName,
                         testing::Values(FolderCase{"data.backup.lzh", "data"},
                                         FolderCase{"data.lzh", "data"},
                                         FolderCase{"noextension", "noextension"},
                                         FolderCase{".lzh", ".lzh"}, FolderCase{"写真.lzh", "写真"},
                                         FolderCase{"a b.c.lzh", "a b"}));

TEST(CoreUnpackDestination, EndsWithTheFolderAndASeparator) {
    EXPECT_EQ(ArchiveCommands::unpackDestination("/home/u/out", "data").toStdString(),
              "/home/u/out/data/");
    // The separator is appended without a check, as for a drive root.
    EXPECT_EQ(ArchiveCommands::unpackDestination("/", "data").toStdString(), "//data/");
}

struct NameCase {
    const char* input;
    const char* output;
};

class CoreProposedExecutableName : public testing::TestWithParam<NameCase> {};

TEST_P(CoreProposedExecutableName, LastFourCharactersBecomeExe) {
    EXPECT_EQ(
        PackageNames::proposedExecutableName(QString::fromUtf8(GetParam().input)).toStdString(),
        GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Targets, CoreProposedExecutableName,
                         testing::Values(NameCase{"/work/report.txt", "/work/report.exe"},
                                         NameCase{"/work/photo.jpeg", "/work/photo..exe"},
                                         NameCase{"/work/tool.exe", "/work/tool.exe"},
                                         NameCase{"/work/README", "/work/RE.exe"},
                                         NameCase{"abcd", ".exe"}, NameCase{"abc", ""},
                                         NameCase{"", ""},
                                         NameCase{"/作業/報告書.txt", "/作業/報告書.exe"}));

class CoreArchiveName : public testing::TestWithParam<NameCase> {};

TEST_P(CoreArchiveName, FileNameDecidesAndTheFolderStays) {
    EXPECT_EQ(PackageNames::archiveName(QString::fromUtf8(GetParam().input)).toStdString(),
              GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Executables, CoreArchiveName,
                         testing::Values(NameCase{"/out/report.exe", "/out/report.lzh"},
                                         NameCase{"/out/REPORT.EXE", "/out/REPORT.lzh"},
                                         // Cutting four characters would reach
                                         // into the folder: /home/u/work.lzh.
                                         NameCase{"/home/u/work/pkg", "/home/u/work/pkg.lzh"},
                                         NameCase{"/out/package", "/out/package.lzh"},
                                         NameCase{"/out/x.lzh", "/out/x.lzh.lzh"},
                                         NameCase{"/out/.exe", "/out/.exe.lzh"},
                                         NameCase{"ab", "ab.lzh"}));

// A pack stopped before the archiver, for a list file it cannot write, counts
// every file it was given as not packed, repeats as skipped.
TEST(CoreArchivePack, AListFileThatCannotBeWrittenCountsEveryFileAsFailed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = dir.filePath("a.txt"), b = dir.filePath("b.txt");
    for (const QString& path : {a, b}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    dozo::Library absent(QStringLiteral("unlha32"), {});
    dozo::ArchiveJob job(absent, nullptr, true);
    // A folder where the list file should be.
    const dozo::ArchiveJob::Outcome outcome =
        job.pack(dir.filePath("out.lzh"), {a, b, a}, dir.path(), "");
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.path, dir.path());
    EXPECT_EQ(outcome.done, 0);
    EXPECT_EQ(outcome.failed, 2);
    EXPECT_EQ(outcome.skipped, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("out.lzh")));
}

// Another window's pack holds the one list file from its write to its end:
// a pack started meanwhile waits (or is cancelled) without touching it, then
// packs its own list, not the other's.
TEST(CoreArchivePack, AListFileHeldByAnotherPackIsWaitedFor) {
    const QString library = TestFolders::builtLibrary(QStringLiteral("unlha32"));
    if (library.isEmpty()) GTEST_SKIP() << "libunlha32.so is not built";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString mine = dir.filePath("mine.txt"), list = dir.filePath("TMP/LPF.tmp");
    QFile file(mine);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("mine\n") == 5);
    file.close();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(list).path()));
    QFile other(list);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly) && other.write("other's list\r\n") > 0);
    other.flush();
    ASSERT_EQ(::flock(other.handle(), LOCK_EX), 0);

    dozo::Library unlha32(QStringLiteral("unlha32"), {QFileInfo(library).path()});
    dozo::ArchiveJob job(unlha32, nullptr, true);
    const QString archive = dir.filePath("out.lzh");
    const auto pack = [&](const dozo::JobControl* control) {
        return std::async(std::launch::async,
                          [&, control] { return job.pack(archive, {mine}, list, "", control); });
    };

    dozo::JobControl control;
    auto cancelled = pack(&control);
    EXPECT_EQ(cancelled.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    control.cancel();
    EXPECT_EQ(cancelled.get().status, dozo::ArchiveJob::Status::Cancelled);

    auto waiting = pack(nullptr);
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_EQ(other.size(), 14) << "the other's list is left alone";
    EXPECT_FALSE(QFile::exists(archive));
    // The other pack ends well: its list goes, and its folder with it.
    other.remove();
    QDir().rmdir(QFileInfo(list).path());
    other.close();
    const dozo::ArchiveJob::Outcome done = waiting.get();
    EXPECT_TRUE(done.ok()) << done.reason.toStdString();
    const dozo::ArchiverCall::Listing listing = job.list(archive);
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_TRUE(listing.entries.front().name.endsWith("mine.txt"));
}

}  // namespace
