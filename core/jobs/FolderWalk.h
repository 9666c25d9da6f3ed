#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace dozo {

// The regular files under a folder, at any depth, sorted by path so that a
// run over them is repeatable. Symbolic links are neither followed nor
// listed (rewriting one would replace the link with a file); they and
// special files are only counted. Temporaries of ours (fileio's marked
// ".NAME.dozo-PID-N") are not the user's files: neither listed nor counted. Each folder below the
// first is opened relative to its parent, so a link swapped in for one is never entered. dozo-cli's
// -r and a folder dropped on a file list both take a folder this way.
struct FolderWalk {
    // Which file a path named when the walk met it, so a run can refuse a
    // name that has since become a link or another file.
    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const Identity&) const = default;
    };
    // Walked files by path, for a run over files from several walks.
    using Identities = QHash<QString, Identity>;

    QStringList files;
    QList<qint64> sizes;         // of each file, in the same order
    QList<Identity> identities;  // of each file, in the same order
    int skipped = 0;             // links and special files met
    // What the walk could not take, so that a run over it says so rather
    // than pass its files over in silence: folders it could not read, and
    // entries whose names are not UTF-8 (escaped for showing, as no QString
    // can name them).
    QStringList unreadable;
    QStringList unnamed;

    static FolderWalk of(const QString& folder);
    // The identity of the regular file `name` names, relative to the open
    // folder `folder` (AT_FDCWD for the current one); none for a link (to a
    // file or not), anything else, or nothing. Compared with the walk's, it
    // tells whether the name is still the file the walk met.
    static std::optional<Identity> identityOf(int folder, const char* name);
};

}  // namespace dozo
