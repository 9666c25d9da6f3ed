#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace dozo {

// The folder that holds the work files of the in-place runs and the
// archiver's list files: the user's own cache folder, never the
// installation's (not even as root, where the program's folder would be
// writable), made private to the user.
class WorkDirectory {
public:
    // The user's cache folder (~/.cache/dozo, or under an absolute
    // $XDG_CACHE_HOME), created 0700. A folder that is not a real folder owned
    // by the user (a symbolic link planted there, say), or a relative path, is
    // not used: a private folder made for this process takes its place,
    // removed with the last copy of the WorkDirectory (each run would
    // otherwise leave one behind). The scratch and work files that runs
    // killed meanwhile left in the cache folder are swept (only those that
    // carry our mark: a user's own Temp.$$$ stays).
    static WorkDirectory forUser();
    // A given folder, as tests use one of their own.
    explicit WorkDirectory(const QString& folder);

    const QString& path() const { return m_path; }
    QString workFile() const;  // <dir>/Temp.$$$
    // One work file for each of `count` calls at once, in the file system's
    // encoding: Temp.$$$ for the first, so a run of one call at a time uses
    // exactly the window's, then this run's own for Temp1.$$$, Temp2.$$$
    // beside it, named as scratch files (fileio::scratchName). Each is
    // created marked before every call (markWorkFile), so what a killed run
    // leaves is swept by the next start, and nothing else of that name.
    QList<QByteArray> workFiles(int count) const;
    // The work file to hand the library for one call of `workFile`: made
    // (or found) marked as ours, since the library removes it when a call
    // ends and makes it anew unmarked. When a file of that name is there
    // that is not ours (the user's own Temp.$$$), a scratch file beside it
    // serves instead: the library would truncate and remove the user's.
    static QByteArray markWorkFile(const QByteArray& workFile);
    // After the call: the work file markWorkFile() gave, when the library
    // left it (it stops before making its own when the file to rewrite
    // cannot be opened), goes.
    static void releaseWorkFile(const QByteArray& workFile);
    // A list file of this run's own, created marked as a scratch file; empty
    // when it cannot be made. The caller removes it.
    QString runListFile() const;
    QString listFolder() const;  // <dir>/TMP
    QString listFile() const;    // <dir>/TMP/LPF.tmp

private:
    struct PrivateFolder;

    QString m_path;
    std::shared_ptr<const PrivateFolder> m_private;  // the folder made for this process
};

}  // namespace dozo
