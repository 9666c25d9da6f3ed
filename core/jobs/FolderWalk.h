#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace dozo {

// The regular files under a folder, at any depth, sorted by path so that a
// run over them is repeatable. Symbolic links are neither followed nor
// listed (rewriting one would replace the link with a file); they and
// special files are only counted. dozo-cli's -r and a folder dropped on a
// file list both take a folder this way.
struct FolderWalk {
    // Which file a path named when the walk met it, so a run can refuse a
    // name that has since become a link or another file.
    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const Identity&) const = default;
    };

    QStringList files;
    QList<qint64> sizes;         // of each file, in the same order
    QList<Identity> identities;  // of each file, in the same order
    int skipped = 0;             // links and special files met

    static FolderWalk of(const QString& folder);
};

}  // namespace dozo
