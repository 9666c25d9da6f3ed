#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace dozo {

// The folder that holds the work files of the in-place runs and the
// archiver's list files: the user's own cache folder, never the
// installation's (not even as root, where the program's folder would be
// writable), made private to the user.
class WorkDirectory {
public:
    // The user's cache folder (~/.cache/dozo, or under $XDG_CACHE_HOME),
    // created 0700. A folder that is not a real folder owned by the user (a
    // symbolic link planted there, say) is not used: a private folder made
    // for this process takes its place.
    static WorkDirectory forUser();
    // A given folder, as tests use one of their own.
    explicit WorkDirectory(const QString& folder);

    const QString& path() const { return m_path; }
    QString workFile() const;  // <dir>/Temp.$$$
    // One work file for each of `count` calls at once, in the file system's
    // encoding: Temp.$$$ for the first, so a run of one call at a time uses
    // exactly the window's, then Temp1.$$$, Temp2.$$$ beside it.
    QList<QByteArray> workFiles(int count) const;
    QString listFolder() const;  // <dir>/TMP
    QString listFile() const;    // <dir>/TMP/LPF.tmp

private:
    QString m_path;
};

}  // namespace dozo
