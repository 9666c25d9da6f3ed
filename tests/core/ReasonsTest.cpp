// How a failure the archiver told in parts is worded: the path the line is
// about and its reason, in English and in Japanese; and why a finished result
// could not replace its file.
#include "core/text/Language.h"
#include "core/text/Reasons.h"

#include <dozo/contracts/unlha32.h>

#include <files.h>

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cerrno>

namespace {

namespace cause = dozo::contracts::unlhaCause;
namespace unlha = dozo::contracts::unlha;

struct LineCase {
    const char* name;
    dozo::Language language;
    int code, cause;
    const char* told;  // the name the archiver told
    int error;
    const char* line;  // path ": " reason
};

constexpr auto en = dozo::Language::English;
constexpr auto ja = dozo::Language::Japanese;

class CoreArchiverFailureLine : public testing::TestWithParam<LineCase> {};

TEST_P(CoreArchiverFailureLine, NamesTheFileAndTheRealReason) {
    const LineCase& c = GetParam();
    dozo::useLanguage(c.language);
    const auto restore = qScopeGuard([] { dozo::useLanguage(dozo::Language::Japanese); });
    const dozo::Reasons::ArchiverLine line = dozo::Reasons::archiverFailure(
        QStringLiteral("/d/o.lzh"), c.code, c.cause, QString::fromUtf8(c.told), c.error);
    EXPECT_EQ((line.path + QStringLiteral(": ") + line.reason).toStdString(), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, CoreArchiverFailureLine,
    testing::Values(
        LineCase{"MissingInput", en, unlha::kInput, cause::kInputOpen, "/d/missing.txt", ENOENT,
                 "/d/missing.txt: cannot open the file to pack (no such file or folder)"},
        LineCase{
            "MissingInputJa", ja, unlha::kInput, cause::kInputOpen, "/d/missing.txt", ENOENT,
            "/d/missing.txt: 圧縮するファイルを開けません（ファイルやフォルダーがありません）"},
        LineCase{"DiskFull", en, unlha::kWrite, cause::kArchiveWrite, "", ENOSPC,
                 "/d/o.lzh: cannot write the archive (no space left on the disk)"},
        LineCase{"DamagedEntry", en, unlha::kData, cause::kEntryData, "docs/a.txt", 0,
                 "/d/o.lzh: damaged data in entry docs/a.txt"},
        LineCase{"DamagedEntryJa", ja, unlha::kData, cause::kEntryData, "docs/a.txt", 0,
                 "/d/o.lzh: 項目 docs/a.txt のデータが壊れています"},
        LineCase{"EntryNameEscaped", en, unlha::kUnsafeEntry, cause::kEntryUnsafe, "../\x1b[2J", 0,
                 "/d/o.lzh: entry ../\\x1b[2J has an unsafe name; not extracted"},
        LineCase{"CutShortAtAnEntry", en, unlha::kNotArchive, cause::kArchiveCut, "x.txt", 0,
                 "/d/o.lzh: the archive is cut short (entry x.txt)"},
        LineCase{"StoppedBetweenFiles", en, unlha::kCancelled, cause::kCancelled, "", 0,
                 "/d/o.lzh: cancelled"},
        LineCase{"NoPartsTold", en, unlha::kInput, cause::kNone, "", 0,
                 "/d/o.lzh: a file to pack cannot be read"}),
    [](const testing::TestParamInfo<LineCase>& test) { return std::string(test.param.name); });

// A result that cannot replace its file says why, as the user who ran it:
// the folder takes no file, the file is another user's, or its group is not
// one of theirs (a library answers only "cannot replace").
TEST(CoreCannotReplace, SaysWhetherTheFolderTheOwnerOrTheGroupIsWhy) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's files";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray open = QFile::encodeName(dir.filePath("open"));
    const QByteArray shut = QFile::encodeName(dir.filePath("shut"));
    ASSERT_EQ(::mkdir(open.constData(), 0777), 0);
    ASSERT_EQ(::chmod(open.constData(), 0777), 0);
    ASSERT_EQ(::mkdir(shut.constData(), 0755), 0);
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const struct {
        const char* file;
        uid_t owner;
        gid_t group;
        const char* says;
    } cases[] = {
        {"shut/f", 65534, 65534, "フォルダーに書き込めない"},
        {"open/roots", 0, 0, "ほかのユーザーのファイル"},
        {"open/group", 65534, 0, "属していないグループ（0）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = dir.filePath(QString::fromLatin1(c.file));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), c.owner, c.group), 0);
        const int status = dozo::test::runInChild([&] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                return 100;
            return dozo::Reasons::cannotReplace(path).contains(QString::fromUtf8(c.says)) ? 0 : 1;
        });
        EXPECT_EQ(status, 0);
    }
}

}  // namespace
