#pragma once

#include "core/libraries/ArchiverCall.h"

#include <QString>

namespace dozo {

// Whether an archive holds a file exactly as it is on disk (same name, size
// and CRC-16), read back through the archiver's own listing. The archiver's
// update command keeps an entry of the same name that is not older than the
// file and still returns 0, so its result alone never justifies deleting the
// file it was given. Safe to use on the worker thread of a long run.
class ArchivedCopy {
public:
    enum class Verdict {
        Held,            // the entry matches the file
        NewerEntryKept,  // an entry of that name, not older than the file, was kept
        EntryDiffers,    // an entry of that name with other contents
        NotStored,       // no entry of that name
        Unlisted,        // the archive cannot be listed
        FileUnreadable,  // the file itself cannot be read
    };
    struct Result {
        Verdict verdict = Verdict::Held;
        // One line for the user, empty when held; it says the file was kept.
        QString reason;
        bool held() const { return verdict == Verdict::Held; }
    };

    // `file` was packed under its own name (its last path component).
    static Result check(ArchiverCall& archiver, void* owner, const QString& archive,
                        const QString& file);
};

}  // namespace dozo
