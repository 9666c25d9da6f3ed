#include "PackageCall.h"

#include <dozo/contracts/rivo.h>

#include <QFile>

namespace dozo {

int PackageCall::run(void* owner, const QString& source, const QString& destination,
                     const QString& password) {
    auto* rivo = m_library.function<RivoFn>(contracts::kRivo);
    if (!rivo) return kUnavailable;
    return rivo(owner, QFile::encodeName(source).constData(),
                QFile::encodeName(destination).constData(), password.toUtf8().constData());
}

QString PackageCall::reasonFor(int code) {
    switch (code) {
        case kUnavailable:
            return QStringLiteral("RIVOライブラリを読み込めません。");
        case contracts::rivo::kArgument:
            return QStringLiteral("暗号化するファイルか保存先が指定されていません。");
        case contracts::rivo::kPassword:
            return QStringLiteral("パスワードが空か、長すぎるか、改行を含んでいます。");
        case contracts::rivo::kSource:
            return QStringLiteral("暗号化するファイルを読み込めません。");
        case contracts::rivo::kRead:
            return QStringLiteral("暗号化するファイルの読み込み中にエラーが発生しました。");
        case contracts::rivo::kDestination:
            return QStringLiteral("保存先にファイルを作成できません。");
        case contracts::rivo::kWrite:
            return QStringLiteral("暗号化後のファイルを書き込めません。");
        case contracts::rivo::kReplace:
            return QStringLiteral("暗号化後のファイルを保存できません。");
        case contracts::rivo::kCrypto:
            return QStringLiteral("暗号化処理に失敗しました（メモリ不足など）。");
        default:
            return QStringLiteral("RIVOライブラリがエラーを返しました（コード %1）。").arg(code);
    }
}

}  // namespace dozo
