#include "core/text/Reasons.h"

#include "core/text/Language.h"
#include "core/text/ShownName.h"

#include <dozo/contracts/rivo.h>
#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/unlha32.h>
#include <dozo/contracts/vod32.h>

#include <QFile>
#include <QFileInfo>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

namespace dozo {

namespace {

struct Row {
    int code;
    const char* ja;
    const char* en;
};

// Rows the two file libraries share, with the code each gives them.
constexpr const char* kWorkFileJa = "作業ファイルを作成できません";
constexpr const char* kWorkFileEn = "the work file cannot be created";
constexpr const char* kReadJa = "読み込み中にエラーが発生しました";
constexpr const char* kReadEn = "read error";
constexpr const char* kWriteJa = "書き込みに失敗しました（ディスクの空き不足など）";
constexpr const char* kWriteEn = "write failed (disk full?)";
constexpr const char* kReadOnlyJa = "読み取り専用です";
constexpr const char* kReadOnlyEn = "read-only file";
constexpr const char* kUnavailableJa = "ライブラリを呼び出せません";
constexpr const char* kUnavailableEn = "the library cannot be called";
constexpr const char* kReplacedJa =
    "フォルダーを読んだ後にリンクか別のファイルに置き換えられました";
constexpr const char* kReplacedEn = "replaced by a link or another file since the folder was read";

namespace rozu32 = contracts::rozu32;
namespace vod32 = contracts::vod32;
namespace unlha = contracts::unlha;
namespace rivo = contracts::rivo;

constexpr Row kTransform[] = {
    {Reasons::kUnavailable, kUnavailableJa, kUnavailableEn},
    {Reasons::kReplacedSinceWalk, kReplacedJa, kReplacedEn},
    {rozu32::kWorkFile, kWorkFileJa, kWorkFileEn},
    {rozu32::kRead, kReadJa, kReadEn},
    {rozu32::kWrite, kWriteJa, kWriteEn},
    {rozu32::kReadOnly, kReadOnlyJa, kReadOnlyEn},
};

constexpr Row kKeyed[] = {
    {Reasons::kUnavailable, kUnavailableJa, kUnavailableEn},
    {Reasons::kReplacedSinceWalk, kReplacedJa, kReplacedEn},
    {vod32::kWorkFile, kWorkFileJa, kWorkFileEn},
    {vod32::kKeyTooLong, "暗号化キーが長すぎます", "the key is too long"},
    {vod32::kKeyEmpty, "暗号化キーが空です", "the key is empty"},
    {vod32::kRead, kReadJa, kReadEn},
    {vod32::kWrite, kWriteJa, kWriteEn},
    {vod32::kReadOnly, kReadOnlyJa, kReadOnlyEn},
};

constexpr Row kArchiver[] = {
    {Reasons::kUnavailable, "UNLHA32ライブラリを読み込めません。",
     "the archiver library cannot be loaded"},
    {Reasons::kReplacedSinceWalk, kReplacedJa, kReplacedEn},
    {Reasons::kBackslashName, "「\\」を含む名前は圧縮するファイルとして指定できません。",
     "a name holding a backslash cannot be packed"},
    {unlha::kCommand, "コマンドが正しくありません。", "command not accepted"},
    {unlha::kArchiveOpen, "書庫ファイルを開けません。", "the archive cannot be opened"},
    {unlha::kNotArchive, "LHA書庫ではないか、書庫が壊れています。",
     "not an LHA archive, or a damaged one"},
    {unlha::kData, "書庫のデータが壊れています。", "damaged data in the archive"},
    {unlha::kUnsafeEntry, "安全でない項目を展開しませんでした。", "unsafe entry not extracted"},
    {unlha::kSkipped, "既存のファイルを上書きしませんでした。", "existing files kept"},
    {unlha::kInput, "圧縮するファイルを読み込めません。", "a file to pack cannot be read"},
    {unlha::kWrite, "ファイルを書き込めません。", "cannot write"},
    {unlha::kNoGui, "設定画面を表示できません。", "the settings dialog needs a display"},
    {unlha::kNoDialog, "UNLHA32の設定画面のライブラリが見つかりません。",
     "the archiver's settings dialog library is missing"},
    {unlha::kCancelled, "処理を中止しました。", "cancelled"},
    {unlha::kOutput, "書庫の一覧が大きすぎます。", "the archive's listing is too large"},
};

constexpr Row kPackage[] = {
    {Reasons::kUnavailable, "RIVOライブラリを読み込めません。",
     "the package library cannot be loaded"},
    {rivo::kArgument, "暗号化するファイルか保存先が指定されていません。",
     "no file to package or no destination"},
    {rivo::kPassword, "パスワードが空か、長すぎるか、改行を含んでいます。",
     "the password is empty, too long or holds a line break"},
    {rivo::kSource, "暗号化するファイルを読み込めません。", "the file to package cannot be read"},
    {rivo::kRead, "暗号化するファイルの読み込み中にエラーが発生しました。",
     "read error in the file to package"},
    {rivo::kDestination, "保存先にファイルを作成できません。",
     "the package cannot be created at its destination"},
    {rivo::kWrite, "暗号化後のファイルを書き込めません。", "the package cannot be written"},
    {rivo::kReplace, "暗号化後のファイルを保存できません。", "the package cannot be saved"},
    {rivo::kCrypto, "暗号化処理に失敗しました（メモリ不足など）。",
     "encryption failed (out of memory?)"},
    {rivo::kCancelled, "処理を中止しました。", "cancelled"},
};

namespace cause = contracts::unlhaCause;

// The archiver's causes. `onDisk`: the name is a file or folder on disk, the
// line's path; otherwise the line is about the archive and %1 takes the
// name (an entry's, or a stored one), which a row without %1 adds at its end
// when there is one. `withError`: the errno follows in brackets.
struct CauseRow {
    int cause;
    bool onDisk;
    bool withError;
    const char* ja;
    const char* en;
};

constexpr CauseRow kCauses[] = {
    {cause::kCommand, false, false, "コマンドが正しくありません", "command not accepted"},
    {cause::kListFile, true, true, "リストファイルを読み込めません", "cannot read the list file"},
    {cause::kNothingToPack, false, false, "圧縮するファイルがありません", "no file to pack"},
    {cause::kNoMemory, false, false, "メモリが足りません", "out of memory"},
    {cause::kInternal, false, false, "書庫の処理で内部エラーが発生しました",
     "internal error in the archiver"},
    {cause::kMiscoded, true, false,
     "UNLHA32の誤りで圧縮したデータが元に戻らないため、書庫には何も書き込んでいません",
     "the archiver's compressed data did not decode back to the file (the archiver's error); "
     "nothing was written to the archive"},
    {cause::kCancelled, true, false, "中止したため、書きかけのファイルは削除しました",
     "stopped: the file being written was removed"},
    {cause::kInputOpen, true, true, "圧縮するファイルを開けません", "cannot open the file to pack"},
    {cause::kInputRead, true, true, "圧縮するファイルの読み込み中にエラーが発生しました",
     "read error in the file to pack"},
    {cause::kInputChanged, true, false, "圧縮している間にファイルが変更されました",
     "changed while it was packed"},
    {cause::kInputNotFile, true, false, "通常のファイルでもフォルダーでもありません",
     "neither a regular file nor a folder"},
    {cause::kFolderRead, true, true, "フォルダーの中を読み込めません", "cannot read the folder"},
    {cause::kFolderReplaced, true, false, "圧縮している間にフォルダーが置き換えられました",
     "the folder was replaced while it was packed"},
    {cause::kNameNone, true, false, "書庫に格納する名前を決められません",
     "no name to store it under"},
    {cause::kNameNotUtf8, true, false, "名前が UTF-8 でないため格納できません",
     "its name is not UTF-8, so it cannot be stored"},
    {cause::kNameBackslash, true, false, "名前に「\\」を含むため格納できません",
     "its name holds a backslash, so it cannot be stored"},
    {cause::kNameTwice, false, false, "%1 という名前で格納されるファイルが複数あります",
     "two files would be stored as %1"},
    {cause::kNameKind, false, false,
     "書庫の %1 とファイル・フォルダーの種類が違うため格納できません",
     "%1 is a file on one side and a folder on the other (archive and disk)"},
    {cause::kArchiveOpen, false, true, "書庫ファイルを開けません", "cannot open the archive"},
    {cause::kNotArchive, false, false, "LHA書庫ではありません", "not an LHA archive"},
    {cause::kArchiveDamaged, false, false, "書庫のヘッダーが壊れているか、対応していない形式です",
     "damaged or unsupported archive header"},
    {cause::kArchiveCut, false, false, "書庫が途中で切れています", "the archive is cut short"},
    {cause::kArchiveEmpty, false, false, "書庫に項目がありません", "the archive holds no entry"},
    {cause::kArchiveRead, false, true, "書庫の読み込み中にエラーが発生しました",
     "read error in the archive"},
    {cause::kArchiveWrite, false, true, "書庫を書き込めません", "cannot write the archive"},
    {cause::kArchiveChanged, false, false, "処理している間に他のプログラムが書庫を書き換えました",
     "another program changed the archive meanwhile"},
    {cause::kArchiveNotFile, false, false, "書庫の名前でファイル以外のものがあります",
     "something other than a file has the archive's name"},
    {cause::kEntryData, false, false, "項目 %1 のデータが壊れています", "damaged data in entry %1"},
    {cause::kEntryUnsafe, false, false, "項目 %1 は安全でない名前のため展開しませんでした",
     "entry %1 has an unsafe name; not extracted"},
    {cause::kEntryLink, false, false, "項目 %1 はリンクのため展開しませんでした",
     "entry %1 is a link; not extracted"},
    {cause::kEntrySpecial, false, false, "項目 %1 はファイルでもフォルダーでもありません",
     "entry %1 is neither a file nor a folder"},
    {cause::kEntryNotKept, false, false,
     "既存の書庫の項目 %1 は安全に引き継げないため、書庫を更新しませんでした",
     "entry %1 of the existing archive cannot be carried over safely; the archive was not "
     "updated"},
    {cause::kEntryNoSize, false, false, "項目 %1 は大きさが分からないため展開しませんでした",
     "entry %1 has no known size; not extracted"},
    {cause::kFileKept, true, false, "既にあるファイルを上書きせずに残しました",
     "exists; kept as it was"},
    {cause::kFileFolder, true, false, "同じ名前のフォルダーがあるため展開できません",
     "a folder of that name is in the way"},
    {cause::kFileNoSpace, true, false, "空き容量が足りないため展開しませんでした",
     "not enough free space; not extracted"},
    {cause::kFileCreate, true, true, "ファイルを作成できません", "cannot create the file"},
    {cause::kFileWrite, true, true, "ファイルを書き込めません", "cannot write the file"},
    {cause::kFilePlace, true, true, "書き終えたファイルを置けません",
     "cannot put the finished file in place"},
    {cause::kFolderCreate, true, true, "フォルダーを作成できません", "cannot create the folder"},
    {cause::kFolderLink, true, false, "シンボリックリンクはたどらないため展開できません",
     "a symbolic link, not followed"},
    {cause::kFlush, true, true, "展開したファイルをディスクに書き込めません",
     "cannot flush the extracted files to disk"},
};

// The errors a user meets; any other is told by number with the system's text.
constexpr Row kSystemErrors[] = {
    {ENOENT, "ファイルやフォルダーがありません", "no such file or folder"},
    {EACCES, "権限がありません", "permission denied"},
    {EPERM, "操作が許可されていません", "operation not permitted"},
    {ENOSPC, "ディスクの空きがありません", "no space left on the disk"},
    {EDQUOT, "ディスク使用量の上限を超えました", "disk quota exceeded"},
    {EIO, "入出力エラー", "input/output error"},
    {EROFS, "読み取り専用のファイルシステムです", "read-only file system"},
    {EISDIR, "フォルダーです", "is a folder"},
    {ENOTDIR, "途中にフォルダーでないものがあります", "a part of the path is not a folder"},
    {ELOOP, "シンボリックリンクです（たどりません）", "a symbolic link, not followed"},
    {ENAMETOOLONG, "名前が長すぎます", "name too long"},
    {EEXIST, "既にあります", "exists already"},
    {EFBIG, "ファイルが大きすぎます", "file too large"},
    {EMFILE, "開いているファイルが多すぎます", "too many open files"},
    {ENOMEM, "メモリが足りません", "out of memory"},
};

QString lookUp(std::span<const Row> rows, int code, const char* unknownJa) {
    for (const Row& row : rows) {
        if (row.code == code) return say(row.ja, row.en);
    }
    return say(unknownJa, "failed (code %1)").arg(code);
}

constexpr const char* kFileUnknownJa = "エラーが発生しました（コード %1）";

// The warnings the archiver hands back, by the words before their path.
constexpr struct {
    const char* ja;
    const char* en;
} kArchiverWarnings[] = {
    {"リンクはたどらず、格納しません: ", "link not followed, not stored: "},
    {"特殊ファイルは格納しません: ", "special file not stored: "},
    {"フォルダーの循環リンクは格納しません: ", "folder loop not stored: "},
    {"見つからないため格納しません: ", "gone before it was stored: "},
    {"書庫自身は格納しません: ", "the archive itself is not stored: "},
    {"書庫の項目の方が新しいため格納しません: ", "the archive's entry is newer, not stored: "},
    {"UTF-8でない名前は格納しません: ", "name not UTF-8, not stored: "},
    {"「\\」を含む名前は格納しません: ", "name holding '\\', not stored: "},
    {"ファイルの属性を戻せません: ", "mode not restored: "},
    {"ファイルの時刻を戻せません: ", "time not restored: "},
    {"読めない文字を含む名前を変えて展開します: ", "name with undecodable bytes renamed: "},
    {"フォルダーの時刻と属性を戻せません: ", "folder time and mode not restored: "},
    {"フォルダーの時刻を戻せません: ", "folder time not restored: "},
    {"フォルダーの属性を戻せません: ", "folder mode not restored: "},
};

}  // namespace

QString Reasons::transform(int code, const QString& path) {
    if (code == rozu32::kSource) return cannotOpen(path);
    if (code == rozu32::kReplace) return cannotReplace(path);
    return lookUp(kTransform, code, kFileUnknownJa);
}

QString Reasons::keyed(int code, const QString& path) {
    if (code == vod32::kSource) return cannotOpen(path);
    if (code == vod32::kReplace) return cannotReplace(path);
    return lookUp(kKeyed, code, kFileUnknownJa);
}

QString Reasons::archiver(int code) {
    return lookUp(kArchiver, code, "UNLHA32がエラーを返しました（コード %1）。");
}

Reasons::ArchiverLine Reasons::archiverFailure(const QString& archive, int code, int cause,
                                               const QString& name, int systemError) {
    if (cause == contracts::unlhaCause::kArchiveReplace) return {archive, cannotReplace(archive)};
    const CauseRow* row = nullptr;
    for (const CauseRow& r : kCauses) {
        if (r.cause == cause) row = &r;
    }
    // Stopped between entries, nothing is left half done: the code says it.
    if (!row || (cause == contracts::unlhaCause::kCancelled && name.isEmpty()))
        return {archive, archiver(code)};
    QString reason = say(row->ja, row->en);
    const bool holdsName = reason.contains(QLatin1String("%1"));
    if (!row->onDisk && !name.isEmpty()) {
        const QString shown = shownName(name);
        reason =
            holdsName ? reason.arg(shown) : reason + say("（項目 %1）", " (entry %1)").arg(shown);
    } else if (holdsName) {
        reason = reason.arg(say("（名前なし）", "(no name)"));
    }
    if (row->withError && systemError != 0)
        reason += say("（%1）", " (%1)").arg(Reasons::systemError(systemError));
    return {row->onDisk && !name.isEmpty() ? name : archive, reason};
}

QString Reasons::systemError(int error) {
    for (const Row& row : kSystemErrors) {
        if (row.code == error) return say(row.ja, row.en);
    }
    return say("システムエラー %1: %2", "system error %1: %2")
        .arg(error)
        .arg(QString::fromLocal8Bit(std::strerror(error)));
}

QString Reasons::cannotReplace(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0) {
        return say("フォルダーに書き込めないため置き換えられません",
                   "cannot be replaced: its folder is not writable");
    }
    struct stat st {};
    const uid_t me = ::geteuid();
    if (me != 0 && ::stat(file.constData(), &st) == 0) {
        if (st.st_uid != me) {
            return say("ほかのユーザーのファイルのため、所有者を保ったまま置き換えられません",
                       "cannot be replaced: it is another user's file, whose owner cannot be "
                       "kept");
        }
        std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
        groups.resize(static_cast<std::size_t>(
            std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
        if (st.st_gid != ::getegid() &&
            std::find(groups.begin(), groups.end(), st.st_gid) == groups.end()) {
            return say("属していないグループ（%"
                       "1）のファイルのため、グループを保ったまま置き換えられません",
                       "cannot be replaced: its group (%1) is not one of yours and cannot be kept")
                .arg(st.st_gid);
        }
    }
    return say("ファイルを置き換えられません（属性を保てないなど）",
               "cannot replace the file (its attributes cannot be kept?)");
}

QString Reasons::archiverWarning(const QString& warning) {
    for (const auto& row : kArchiverWarnings) {
        const QString ja = QString::fromUtf8(row.ja);
        if (warning.startsWith(ja)) return say(row.ja, row.en) + warning.mid(ja.size());
    }
    return warning;
}

QString Reasons::package(int code) {
    return lookUp(kPackage, code, "RIVOライブラリがエラーを返しました（コード %1）。");
}

QString Reasons::nameNotUtf8() {
    return say("UTF-8 でない名前は扱えません", "a name that is not UTF-8 cannot be used");
}

QString Reasons::unreadableFolder() {
    return say("フォルダーを読み込めません（中のファイルは処理していません）",
               "the folder cannot be read; its files were not processed");
}

QString Reasons::otherNameFailed(const QString& rewrittenName) {
    return say("同じファイルの別の名前 %1 を処理できなかったため、元のままです",
               "left as it was: its other name %1 could not be rewritten")
        .arg(shownName(rewrittenName));
}

QString Reasons::changedDuringRun() {
    return say("処理の間に変更されたため、元のままです", "changed during the run; left as it was");
}

QString Reasons::linkNotPlaced(int error) {
    return say("処理したファイルをこの名前に置けないため、元のままです（%1）",
               "left as it was: the rewritten file cannot be put under this name (%1)")
        .arg(QString::fromLocal8Bit(std::strerror(error)));
}

QString Reasons::notItsOwnInverse() {
    return say(
        "FileEncryptionLCR をもう一度実行しても元に戻りません（長さが 3 バイト以上の奇数の"
        "ファイル）。元に戻すには FileEncryptionLCB、続けて FileEncryptionLCRB を実行して"
        "ください",
        "FileEncryptionLCR run again does not restore these files (odd lengths from 3 "
        "bytes); to restore one, run LCB on it, then LCRB");
}

Reasons::OpenProblem Reasons::openProblem(const QString& path) {
    if (path.isEmpty()) return OpenProblem::EmptyPath;
    const QFileInfo info(path);
    if (!info.exists()) return OpenProblem::Missing;
    if (info.isDir()) return OpenProblem::Folder;
    if (!info.isFile()) return OpenProblem::NotAFile;
    if (!info.isReadable()) return OpenProblem::NotReadable;
    return OpenProblem::Other;
}

QString Reasons::cannotOpen(const QString& path) {
    switch (openProblem(path)) {
        case OpenProblem::EmptyPath:
            return say("パスが空です", "empty path");
        case OpenProblem::Missing:
            return say("ファイルが見つかりません", "no such file");
        case OpenProblem::Folder:
            return say("フォルダーです", "is a folder");
        case OpenProblem::NotAFile:
            return say("通常のファイルではありません", "not a regular file");
        case OpenProblem::NotReadable:
            return say("読み取りの権限がありません", "permission denied");
        case OpenProblem::Other:
            break;
    }
    return say("ファイルを開けません", "cannot be opened");
}

}  // namespace dozo
