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
    QStringList files;
    QList<qint64> sizes;  // of each file, in the same order
    int skipped = 0;      // links and special files met

    static FolderWalk of(const QString& folder);
};

}  // namespace dozo
