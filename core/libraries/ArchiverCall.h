#pragma once

#include "core/libraries/Library.h"
#include "core/text/Reasons.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace dozo {

// The archiver's working exports, called with a real output buffer so
// that a failure comes back with the archiver's own reason. Safe to use on
// the worker thread of a long run.
class ArchiverCall {
public:
    struct Outcome {
        int code = 0;
        QString reason;  // empty on success
        // What a run that succeeded left out and why, one line each (a
        // link met in a folder, the archive itself), as the archiver words it.
        QStringList warnings{};
        // The file or folder on disk a failure is about; empty when it is
        // about the archive (or an entry of it, which the reason names).
        QString path{};
        // The archiver's cause (contracts::unlhaCause) and errno, when it
        // told them; 0 from an archiver that does not.
        int cause = 0;
        int systemError = 0;
        bool failed() const { return code != 0; }
    };

    // One entry of an archive as the archiver lists it.
    struct Entry {
        qint64 size = 0;
        qint64 packed = 0;
        QString method;   // as stored: "-lh5-", "-lhd-" for a folder
        quint16 crc = 0;  // CRC-16/ARC of the data, as the header holds it
        // The local time as the archiver lists it ("yyyy-MM-dd HH:mm:ss"),
        // kept as text: a long listing is printed as it came, and a time
        // zone lookup per entry would cost more than the rest of it.
        QString modifiedText;
        QDateTime modified() const;
        QString name;  // as extraction would name it; a folder ends in "/"
    };
    struct Listing {
        Outcome outcome;
        QList<Entry> entries;  // in archive order
    };

    // Returned when the library or its export cannot be reached; it is not
    // one of the archiver's own codes.
    static constexpr int kUnavailable = Reasons::kUnavailable;

    // Where a pack or an extraction stands, as the archiver reports it
    // between entries and about once a mebibyte inside one (bytes then count
    // the part done); a total is -1 when the archiver does not know it.
    struct Progress {
        qint64 entries = 0;
        qint64 entriesTotal = -1;
        qint64 bytes = 0;
        qint64 bytesTotal = -1;
    };
    // Answers false to stop the command within a mebibyte, inside an entry
    // too: a pack then commits nothing, an extraction places no part file.
    using Follow = std::function<bool(const Progress&)>;

    explicit ArchiverCall(Library& unlha32) : m_library(unlha32) {}

    // With `follow`, a pack or an extraction reports to it on the calling
    // thread (when the archiver offers progress at all). A failure is
    // worded from the parts the archiver tells (Reasons::archiverFailure),
    // or, from an archiver that tells none, from its code (in Japanese, its
    // own reason); `archive` is the command's archive, which those parts
    // leave unnamed.
    Outcome run(void* owner, const QByteArray& commandLine, const Follow& follow = {},
                const QString& archive = {});
    // Every entry of `archive`, read back through the archiver itself.
    Listing list(void* owner, const QString& archive);

private:
    Library& m_library;
};

}  // namespace dozo
