#include "FailureReason.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>
#include <QFileInfo>

namespace dozo {

namespace {

namespace rozu32 = contracts::rozu32;
namespace vod32 = contracts::vod32;

QString workFile() {
    return QStringLiteral("作業ファイルを作成できません");
}
QString readFailed() {
    return QStringLiteral("読み込み中にエラーが発生しました");
}
QString writeFailed() {
    return QStringLiteral("書き込みに失敗しました（ディスクの空き不足など）");
}
QString readOnly() {
    return QStringLiteral("読み取り専用です");
}
QString replaceFailed() {
    return QStringLiteral("ファイルを置き換えられません（フォルダーに書き込めません）");
}
QString unavailable() {
    return QStringLiteral("ライブラリを呼び出せません");
}

}  // namespace

QString FailureReason::forTransform(int code, const QString& path) {
    switch (code) {
        case kUnavailable:
            return unavailable();
        case rozu32::kSource:
            return cannotOpen(path);
        case rozu32::kWorkFile:
            return workFile();
        case rozu32::kRead:
            return readFailed();
        case rozu32::kWrite:
            return writeFailed();
        case rozu32::kReadOnly:
            return readOnly();
        case rozu32::kReplace:
            return replaceFailed();
        default:
            return unknown(code);
    }
}

QString FailureReason::forKeyed(int code, const QString& path) {
    switch (code) {
        case kUnavailable:
            return unavailable();
        case vod32::kSource:
            return cannotOpen(path);
        case vod32::kWorkFile:
            return workFile();
        case vod32::kKeyTooLong:
            return QStringLiteral("暗号化キーが長すぎます");
        case vod32::kKeyEmpty:
            return QStringLiteral("暗号化キーが空です");
        case vod32::kRead:
            return readFailed();
        case vod32::kWrite:
            return writeFailed();
        case vod32::kReadOnly:
            return readOnly();
        case vod32::kReplace:
            return replaceFailed();
        default:
            return unknown(code);
    }
}

FailureReason::OpenProblem FailureReason::openProblem(const QString& path) {
    if (path.isEmpty()) return OpenProblem::EmptyPath;
    const QFileInfo info(path);
    if (!info.exists()) return OpenProblem::Missing;
    if (info.isDir()) return OpenProblem::Folder;
    if (!info.isFile()) return OpenProblem::NotAFile;
    if (!info.isReadable()) return OpenProblem::NotReadable;
    return OpenProblem::Other;
}

QString FailureReason::cannotOpen(const QString& path) {
    switch (openProblem(path)) {
        case OpenProblem::EmptyPath:
            return QStringLiteral("パスが空です");
        case OpenProblem::Missing:
            return QStringLiteral("ファイルが見つかりません");
        case OpenProblem::Folder:
            return QStringLiteral("フォルダーです");
        case OpenProblem::NotAFile:
            return QStringLiteral("通常のファイルではありません");
        case OpenProblem::NotReadable:
            return QStringLiteral("読み取りの権限がありません");
        case OpenProblem::Other:
            break;
    }
    return QStringLiteral("ファイルを開けません");
}

QString FailureReason::unknown(int code) {
    return QStringLiteral("エラーが発生しました（コード %1）").arg(code);
}

}  // namespace dozo
