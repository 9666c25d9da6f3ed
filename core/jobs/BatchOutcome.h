#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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
    // A naming of a file the run had already rewritten: skipped.
    void addRepeat(const QString& path) { m_repeats.append(path); }
    // A rewritten file with other hard links, which keep the old contents.
    void addLinked(const QString& path) { m_linked.append(path); }
    // A file the run did not reach because it was cancelled: untouched.
    void addNotRun(const QString& path) { m_notRun.append(path); }

    int total() const { return m_total; }
    int failedCount() const { return static_cast<int>(m_failures.size()); }
    bool allSucceeded() const { return m_failures.isEmpty(); }
    const QList<Failure>& failures() const { return m_failures; }
    const QStringList& repeats() const { return m_repeats; }
    const QStringList& linked() const { return m_linked; }
    const QStringList& notRun() const { return m_notRun; }
    bool cancelled() const { return !m_notRun.isEmpty(); }
    // Files rewritten: neither failed, skipped nor left by a cancel.
    int doneCount() const {
        return m_total - failedCount() - static_cast<int>(m_repeats.size() + m_notRun.size());
    }

    // What a warning about a path says, in the current language.
    // After a blank line, "heading:" and the paths it is about, each on its
    // own line, as many as fit; empty when there are none.
    // The paths are shown as given (shownName() is the caller's).
    static QString namedPaths(const QString& heading, const QStringList& paths);
    static QString repeatWarning();
    static QString linkedWarning();

    // "処理が完了しました。" when every file succeeded; otherwise how many of
    // how many failed, then each failed file with its reason. A cancelled run
    // says so first, with how many files were done, and names those it left
    // untouched. Skipped repeats and files with other hard links are named
    // last.
    QString message() const;

private:
    int m_total;
    QList<Failure> m_failures;
    QStringList m_repeats;
    QStringList m_linked;
    QStringList m_notRun;
};

}  // namespace dozo
