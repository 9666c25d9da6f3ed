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
        bool shown = false;  // the path is escaped for showing already
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
    // Something a folder walk met and could not take (a folder it could not
    // read, a name that is not UTF-8, escaped as `shown` says): one more
    // failure among the files, whose files stay as they were.
    void addUnreached(const QString& path, const QString& reason, bool shown);
    // A folder whose files the user chose not to rewrite.
    void addDeclined(const QString& folder) { m_declined.append(folder); }
    // A file rewritten by FileEncryptionLCR that a second run does not restore.
    void addOneWay(const QString& path) { m_oneWay.append(path); }
    // The files of the run (by their index in it) that a run started again
    // still has to do: those that failed or were not reached, and repeated
    // namings of them.
    void setUnfinished(QList<int> indexes) { m_unfinished = std::move(indexes); }
    const QList<int>& unfinished() const { return m_unfinished; }
    // The list a stopped run leaves: the entries it still holds, named in
    // the closing message so that the entries that went are not taken for
    // lost.
    void setEntriesLeft(int entries) { m_entriesLeft = entries; }

    int total() const { return m_total; }
    int failedCount() const { return static_cast<int>(m_failures.size()); }
    bool allSucceeded() const { return m_failures.isEmpty(); }
    const QList<Failure>& failures() const { return m_failures; }
    const QStringList& repeats() const { return m_repeats; }
    const QStringList& linked() const { return m_linked; }
    const QStringList& notRun() const { return m_notRun; }
    const QStringList& declined() const { return m_declined; }
    const QStringList& oneWay() const { return m_oneWay; }
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
    static QString declinedWarning();

    // "処理が完了しました。" when every file succeeded; otherwise how many of
    // how many failed, then each failed file with its reason. A cancelled run
    // says so first, with how many files were done, and names those it left
    // untouched, and what became of the list. Folders left alone, skipped
    // repeats, files with other hard links and files FileEncryptionLCR does
    // not restore are named last.
    QString message() const;

private:
    int m_total;
    QList<Failure> m_failures;
    QStringList m_repeats;
    QStringList m_linked;
    QStringList m_notRun;
    QStringList m_declined;
    QStringList m_oneWay;
    QList<int> m_unfinished;
    int m_entriesLeft = -1;
};

}  // namespace dozo
