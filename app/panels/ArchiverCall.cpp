#include "ArchiverCall.h"

#include <dozo/contracts/unlha32.h>

#include <QFile>
#include <array>

namespace dozo {

namespace {

// Long enough for a reason naming two full paths; the archiver cuts the rest.
constexpr unsigned long kOutputSize = 2048;

}  // namespace

ArchiverCall::Outcome ArchiverCall::run(void* owner, const QByteArray& commandLine) {
    auto* unlha = m_library.function<UnlhaFn>(contracts::kUnlha);
    if (!unlha) return {kUnavailable, reasonFor(kUnavailable)};
    std::array<char, kOutputSize> output{};
    const int code = unlha(owner, commandLine.constData(), output.data(), kOutputSize);
    if (code == 0) return {};
    output.back() = '\0';
    QString reason = QFile::decodeName(output.data()).trimmed();
    if (reason.isEmpty()) reason = reasonFor(code);
    return {code, reason};
}

std::optional<bool> ArchiverCall::checkArchive(const QString& archive) {
    auto* check = m_library.function<UnlhaCheckArchiveFn>(contracts::kUnlhaCheckArchive);
    if (!check) return std::nullopt;
    return check(QFile::encodeName(archive).constData(), 1) != 0;
}

QString ArchiverCall::reasonFor(int code) {
    switch (code) {
        case kUnavailable:
            return QStringLiteral("UNLHA32ライブラリを読み込めません。");
        case 1:
            return QStringLiteral("コマンドが正しくありません。");
        case 2:
            return QStringLiteral("書庫ファイルを開けません。");
        case 3:
            return QStringLiteral("LHA書庫ではないか、書庫が壊れています。");
        case 4:
            return QStringLiteral("書庫のデータが壊れています。");
        case 5:
            return QStringLiteral("安全でない項目を展開しませんでした。");
        case 6:
            return QStringLiteral("既存のファイルを上書きしませんでした。");
        case 7:
            return QStringLiteral("圧縮するファイルを読み込めません。");
        case 8:
            return QStringLiteral("ファイルを書き込めません。");
        default:
            return QStringLiteral("UNLHA32がエラーを返しました（コード %1）。").arg(code);
    }
}

}  // namespace dozo
