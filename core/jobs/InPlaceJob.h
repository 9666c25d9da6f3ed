#pragma once

#include "core/jobs/FileBatch.h"
#include "core/jobs/FolderWalk.h"
#include "core/jobs/ListedFiles.h"
#include "core/libraries/Library.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>

namespace dozo {

// The transform and keyed tabs' run and dozo-cli's transform and keyed: one
// library call per file, each rewriting the file in place, with the reasons
// of the one table. Safe to run on the worker thread of a long run.
class InPlaceJob {
public:
    // One of the seven transforms, by its option's index (0 to 6).
    static InPlaceJob transform(Library& rozu32, int method);
    // The keyed stream with a key already encoded for the library (VovKey).
    // Only method 0 (VovBCMKC) is run on files; any other reaches no call.
    static InPlaceJob keyed(Library& vod32, int method, QByteArray key);

    // Whether the library and its export can be reached. A run without them
    // still reports every file as failed rather than done.
    bool available() const { return m_call != nullptr; }

    // Runs every path with `workFiles.size()` calls at once, worker n using
    // workFiles[n]. `failed` hears of each failure as it happens. A path in
    // `walked` was found by a FolderWalk: it runs only while it still names
    // the file the walk met, and never through a link (the library follows
    // links, as it must for a link the user named).
    using Failed = std::function<void(const QString& path, const QString& reason)>;
    using Walked = FolderWalk::Identities;
    // The rewrite leaves a new file under a walked path; `rewritten` hears
    // its identity (from the worker that rewrote it), for a later run over
    // the same paths to hold it to.
    using Rewritten = std::function<void(const QString& path, const FolderWalk::Identity& now)>;
    // A cancelled `control` stops the run between files (FileBatch::run).
    // The outcome names the files FileEncryptionLCR left that running it
    // again would not restore.
    BatchOutcome run(const QStringList& paths, void* owner, const QList<QByteArray>& workFiles,
                     const FileBatch::Stepped& stepped, const Failed& failed = {},
                     const JobControl* control = nullptr, const Walked& walked = {},
                     const Rewritten& rewritten = {}) const;
    // The same over a list's files (`list.files()`, whose indexes `stepped`
    // gives): the outcome names besides what its folders' walks could not
    // take, as failures (`failed` does not hear of them), and the folders the
    // user left alone.
    BatchOutcome run(const ListedFiles& list, void* owner, const QList<QByteArray>& workFiles,
                     const FileBatch::Stepped& stepped, const Failed& failed = {},
                     const JobControl* control = nullptr, const Rewritten& rewritten = {}) const;

private:
    using Call = std::function<int(void* owner, const char* path, const char* work)>;
    using Reason = QString (*)(int code, const QString& path);
    InPlaceJob(Call call, Reason reason, bool oneWayOnOddLengths = false)
        : m_call(std::move(call)), m_reason(reason), m_oneWayOnOddLengths(oneWayOnOddLengths) {}

    Call m_call;
    Reason m_reason;
    // FileEncryptionLCR: its own inverse only for even lengths and up to one
    // byte; the bytes it writes are fixed, so the run says so instead.
    bool m_oneWayOnOddLengths;
};

}  // namespace dozo
