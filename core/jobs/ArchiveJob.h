#pragma once

#include "core/jobs/FolderWalk.h"
#include "core/jobs/JobControl.h"
#include "core/libraries/ArchiverCall.h"

#include <QString>
#include <QStringList>

namespace dozo {

// The archive tab's two commands and dozo-cli's pack, unpack, list and test:
// each a run of the archiver with the checks around it, one outcome each.
// Safe to run on the worker thread of a long run.
class ArchiveJob {
public:
    enum class Status {
        Done,
        Unavailable,   // no archiver: nothing was touched
        Refused,       // a path the archiver cannot be given; nothing was touched
        NotAnArchive,  // unpack: the file cannot be extracted; no folder was made
        Failed,        // the archiver or a step around it failed
        Cancelled,     // stopped as asked: see each command
    };
    struct Outcome {
        Status status = Status::Done;
        int code = 0;    // the archiver's code, when it failed
        QString path;    // what a failure is about: a file, a folder or the archive
        QString reason;  // in the current language
        // Files (not folders) done, failed and kept as they were.
        int done = 0;
        int failed = 0;
        int skipped = 0;
        // What a pack that succeeded left out of the folders it walked, or
        // what an unpack that succeeded could not restore (a mode, a time).
        QStringList warnings{};
        int notDone = 0;  // files a cancelled run did not reach
        // The file a cancelled unpack was writing when it stopped: not
        // placed, nothing of it left. Empty when it stopped between files.
        QString removed{};
        bool ok() const { return status == Status::Done; }
    };

    // `archiverPresent` is start-up's finding; without it every job says so
    // rather than report work that never happened.
    ArchiveJob(Library& unlha32, void* owner, bool archiverPresent)
        : m_call(unlha32), m_owner(owner), m_present(archiverPresent) {}

    // Packs `entries` into `archive` through a list file written at
    // `listFile`, removed again when the pack succeeded. `switches` are the
    // archiver's (a method for this run). A file named twice goes in once.
    // `control` hears of the bytes packed (entries when the files hold
    // none); cancelled, the pack stops within a mebibyte, inside a large
    // file too, and leaves the archive as it was (Cancelled, every file not
    // done), and the list file goes. A folder among the entries is packed
    // with the paths below it, its name first, by the archiver's own walk
    // (which takes no link).
    Outcome pack(const QString& archive, const QStringList& entries, const QString& listFile,
                 const char* switches = "", const JobControl* control = nullptr);
    // Extracts `archive` into `folder`, which is made when missing. Listed
    // before the folder is made, so a wrong file leaves nothing behind; a
    // failed run removes the folder again when it made it and it is empty.
    // `switches` replace the user's setting for existing files; files kept
    // because they exist make the run fail, and count as skipped. `control`
    // hears of the bytes extracted of the listing's total (entries when they
    // hold none); cancelled, the run stops within a mebibyte: the files placed
    // stay, each whole (done), the one under way is not placed (`removed`),
    // the rest are not done.
    Outcome unpack(const QString& archive, const QString& folder, const char* switches = "",
                   const JobControl* control = nullptr);
    ArchiverCall::Listing list(const QString& archive);
    // Decodes every entry; `done` counts the files the archive holds.
    Outcome test(const QString& archive);

private:
    std::optional<Outcome> refusal(const QStringList& paths) const;

    ArchiverCall m_call;
    void* m_owner;
    bool m_present;
};

}  // namespace dozo
