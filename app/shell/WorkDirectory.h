#pragma once

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
    QString workFile() const;    // <dir>/Temp.$$$
    QString listFolder() const;  // <dir>/TMP
    QString listFile() const;    // <dir>/TMP/LPF.tmp

private:
    QString m_path;
};

}  // namespace dozo
