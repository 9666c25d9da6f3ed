// How a failure the archiver told in parts is worded: the path the line is
// about and its reason, in English and in Japanese.
#include "core/text/Language.h"
#include "core/text/Reasons.h"

#include <dozo/contracts/unlha32.h>

#include <gtest/gtest.h>
#include <QScopeGuard>

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

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

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
        LineCase{"ChangedWhilePacked", en, unlha::kInput, cause::kInputChanged, "/d/a.txt", 0,
                 "/d/a.txt: changed while it was packed"},
        LineCase{"BackslashName", en, unlha::kInput, cause::kNameBackslash, "/d/x\\y", 0,
                 "/d/x\\y: its name holds a backslash, so it cannot be stored"},
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
        LineCase{"SameStoredName", en, unlha::kInput, cause::kNameTwice, "f", 0,
                 "/d/o.lzh: two files would be stored as f"},
        LineCase{"FileKept", en, unlha::kSkipped, cause::kFileKept, "/out/f", 0,
                 "/out/f: exists; kept as it was"},
        LineCase{"HalfFileRemoved", en, unlha::kCancelled, cause::kCancelled, "/out/big", 0,
                 "/out/big: stopped: the file being written was removed"},
        LineCase{"StoppedBetweenFiles", en, unlha::kCancelled, cause::kCancelled, "", 0,
                 "/d/o.lzh: cancelled"},
        LineCase{"NoPartsTold", en, unlha::kInput, cause::kNone, "", 0,
                 "/d/o.lzh: a file to pack cannot be read"}),
    [](const testing::TestParamInfo<LineCase>& test) { return std::string(test.param.name); });

}  // namespace
