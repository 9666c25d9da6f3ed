#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace dozo {

// The folder that holds the work file of the transform runs and the archiver's
// list folder. It is the application directory when that is writable (as in a
// build tree); an installed program usually cannot write beside itself, so it
// then falls back to the per-user cache folder.
class WorkDirectory {
public:
    explicit WorkDirectory(const QString& applicationDir);

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
