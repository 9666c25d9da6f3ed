#pragma once

#include "core/jobs/BatchOutcome.h"
#include "core/jobs/FolderWalk.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace dozo {

// A list of paths as an in-place run takes it (the transform and keyed tabs'
// lists, dozo-cli's operands): each entry a file, or a folder that stands for
// the regular files below it, as FolderWalk finds them (the walk of
// dozo-cli -r), taken only when the user says so. After a stop, what the
// list keeps is what a run started again still has to do.
class ListedFiles {
public:
    struct Entry {
        QString path;
        // Set for a file a walk found: a run takes it only while it is still
        // the file the walk met.
        std::optional<FolderWalk::Identity> walked{};
    };
    struct Folder {
        int entry;  // its index in the list
        QString path;
        FolderWalk walk;
        bool taken = true;  // false: the user chose to leave its files alone
    };
    // The files a run is given, in list order, each folder's in its walk's
    // order.
    struct Files {
        QStringList paths;
        QList<qint64> sizes;
        QList<int> entries;  // the list entry each file comes from
        FolderWalk::Identities walked;
    };

    // Walks every entry that names a folder (a link to one too: the user
    // chose it by name). Reads whole trees: not on the window's thread.
    explicit ListedFiles(QList<Entry> entries);
    static QList<Entry> plain(const QStringList& paths);

    QList<Folder>& folders() { return m_folders; }
    const QList<Folder>& folders() const { return m_folders; }

    Files files() const;
    // How many files that is, without reading their sizes.
    qsizetype count() const;
    // Links and special files met in the folders taken, which no run takes.
    int skipped() const;
    // Adds to the outcome of a run over files() what the folders' walks
    // could not take, as failures, and the folders left alone.
    void addTo(BatchOutcome& outcome) const;

    // The list a stopped run over files() leaves: the entries it did not
    // finish, as they were, and an entry it was stopped in the middle of (a
    // folder taken) as the files of it still to do, so that a second run
    // neither redoes nor undoes one. A folder it did not start stays whole.
    QList<Entry> afterStop(const BatchOutcome& outcome) const;

private:
    QList<Entry> m_entries;
    QList<Folder> m_folders;
};

}  // namespace dozo
