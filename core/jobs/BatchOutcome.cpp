#include "core/jobs/BatchOutcome.h"

namespace dozo {

void BatchOutcome::addFailure(const QString& path, const QString& reason) {
    m_failures.append({path, reason});
}

QString BatchOutcome::message() const {
    if (allSucceeded()) return QStringLiteral("処理が完了しました。");

    QString text = QStringLiteral("%1 個のファイルのうち %2 個を処理できませんでした。\n")
                       .arg(m_total)
                       .arg(failedCount());
    text += QStringLiteral("処理できなかったファイルは元のまま残っています。\n");
    const int listed = qMin(failedCount(), kListedFailures);
    for (int i = 0; i < listed; ++i) {
        const Failure& f = m_failures[i];
        text += QStringLiteral("\n%1\n    %2")
                    .arg(f.path.isEmpty() ? QStringLiteral("（空のパス）") : f.path, f.reason);
    }
    if (failedCount() > listed) {
        text += QStringLiteral("\n\nほか %1 個のファイル").arg(failedCount() - listed);
    }
    return text;
}

}  // namespace dozo
