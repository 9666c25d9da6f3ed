#include "core/text/Reasons.h"

#include "core/text/Language.h"

#include <dozo/contracts/rivo.h>
#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/unlha32.h>
#include <dozo/contracts/vod32.h>

#include <QFileInfo>

#include <span>

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
constexpr const char* kReplaceJa = "ファイルを置き換えられません（フォルダーに書き込めません）";
constexpr const char* kReplaceEn = "cannot replace the file (folder not writable?)";
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
    {rozu32::kReplace, kReplaceJa, kReplaceEn},
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
    {vod32::kReplace, kReplaceJa, kReplaceEn},
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
    {rivo::kSystem, "このRIVOライブラリはその受取人のシステム向けのパッケージを作れません。",
     "the package library cannot make packages for that recipient's system"},
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
    return lookUp(kTransform, code, kFileUnknownJa);
}

QString Reasons::keyed(int code, const QString& path) {
    if (code == vod32::kSource) return cannotOpen(path);
    return lookUp(kKeyed, code, kFileUnknownJa);
}

QString Reasons::archiver(int code) {
    return lookUp(kArchiver, code, "UNLHA32がエラーを返しました（コード %1）。");
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
