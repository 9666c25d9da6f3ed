#pragma once

#include <QList>
#include <QString>

namespace dozo {

// What a run over a list of files came to, and the closing message that
// tells the user so. A run that failed for any file never says it completed.
class BatchOutcome {
public:
    struct Failure {
        QString path;
        QString reason;
    };

    // The message box names at most this many files, so that a run over a
    // thousand missing files still fits on the screen.
    static constexpr int kListedFailures = 15;

    explicit BatchOutcome(int total = 0) : m_total(total) {}

    void addFailure(const QString& path, const QString& reason);

    int total() const { return m_total; }
    int failedCount() const { return static_cast<int>(m_failures.size()); }
    bool allSucceeded() const { return m_failures.isEmpty(); }
    const QList<Failure>& failures() const { return m_failures; }

    // "処理が完了しました。" when every file succeeded; otherwise how many of
    // how many failed, then each failed file with its reason.
    QString message() const;

private:
    int m_total;
    QList<Failure> m_failures;
};

}  // namespace dozo
