#include "core/jobs/BatchOutcome.h"

#include "core/text/Language.h"
#include "core/text/Reasons.h"
#include "core/text/ShownName.h"

#include <QFile>

namespace dozo {

void BatchOutcome::addFailure(const QString& path, const QString& reason) {
    m_failures.append({path, reason});
}

void BatchOutcome::addUnreached(const QString& path, const QString& reason, bool shown) {
    ++m_total;
    m_failures.append({path, reason, shown});
}

QString BatchOutcome::declinedWarning() {
    return say("処理しなかったフォルダー（中のファイルは元のまま）",
               "folders left alone; their files keep their contents");
}

QString BatchOutcome::repeatWarning() {
    return say("既に処理したファイルの別名なので、重複して処理しませんでした",
               "named twice in this run; rewritten once");
}

QString BatchOutcome::linkedWarning() {
    return say("このファイルの別の名前（ハードリンク）は元の内容のままです",
               "other names of this file keep the old contents");
}

namespace {

QStringList shownAll(const QStringList& paths) {
    QStringList names;
    names.reserve(paths.size());
    for (const QString& path : paths) names.append(shownName(path));
    return names;
}

}  // namespace

QString BatchOutcome::namedPaths(const QString& heading, const QStringList& paths) {
    if (paths.isEmpty()) return QString();
    QString text = QStringLiteral("\n\n") + heading + QStringLiteral(":");
    const qsizetype shown = qMin<qsizetype>(paths.size(), BatchOutcome::kListedFailures);
    for (qsizetype i = 0; i < shown; ++i) text += QStringLiteral("\n    ") + paths[i];
    if (paths.size() > shown)
        text +=
            QStringLiteral("\n    ") + say("ほか %1 個", "and %1 more").arg(paths.size() - shown);
    return text;
}

QString BatchOutcome::message() const {
    QString notes = namedPaths(declinedWarning(), shownAll(m_declined)) +
                    namedPaths(repeatWarning(), shownAll(m_repeats)) +
                    namedPaths(linkedWarning(), shownAll(m_linked)) +
                    namedPaths(Reasons::notItsOwnInverse(), shownAll(m_oneWay));
    QString text;
    if (cancelled()) {
        text = QStringLiteral(
                   "処理を中止しました。%1 個のファイルのうち %2 個を処理し、"
                   "%3 個は処理していません。\n")
                   .arg(m_total)
                   .arg(doneCount())
                   .arg(m_notRun.size());
        if (m_entriesLeft >= 0) {
            text += QStringLiteral(
                        "処理したファイルは一覧から外しました。一覧に残った %1 個の項目は、"
                        "もう一度「処理開始」で続けて処理できます。\n")
                        .arg(m_entriesLeft);
        }
        notes =
            namedPaths(QStringLiteral("処理していないファイル（元のまま）"), shownAll(m_notRun)) +
            notes;
        if (allSucceeded()) return text.chopped(1) + notes;
    } else if (allSucceeded()) {
        return QStringLiteral("処理が完了しました。") + notes;
    }

    text += QStringLiteral("%1 個のファイルのうち %2 個を処理できませんでした。\n")
                .arg(m_total)
                .arg(failedCount());
    text += QStringLiteral("処理できなかったファイルは元のまま残っています。\n");
    const int listed = qMin(failedCount(), kListedFailures);
    for (int i = 0; i < listed; ++i) {
        const Failure& f = m_failures[i];
        const QString path = f.shown ? f.path : shownName(f.path);
        text += QStringLiteral("\n%1\n    %2")
                    .arg(f.path.isEmpty() ? QStringLiteral("（空のパス）") : path, f.reason);
    }
    if (failedCount() > listed) {
        text += QStringLiteral("\n\nほか %1 個のファイル").arg(failedCount() - listed);
    }
    return text + notes;
}

}  // namespace dozo
