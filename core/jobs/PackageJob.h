#pragma once

#include "core/jobs/JobControl.h"
#include "core/libraries/LibraryBinding.h"

#include <QByteArrayView>
#include <QString>

namespace dozo {

// Encrypt, then optionally pack into an archive, read the archive back and
// delete the executable: the package tab's two commands and `dozo-cli
// package`, with one set of checks and outcomes. Safe to run on the worker
// thread of a long run (it touches no widget).
class PackageJob {
public:
    struct Request {
        QString target;      // the file to package
        QString executable;  // the package to write
        // The caller's bytes, not a copy: followed by a NUL (the library takes
        // a C string), kept alive for the run and wiped by the caller, so the
        // job leaves no copy of the secret of its own.
        QByteArrayView password;
        bool archive = false;  // then pack it into PackageNames::archiveName and delete it
    };

    enum class Status {
        Done,
        Refused,    // a name or the password is refused; nothing was written
        Failed,     // a library call or the read-back failed; what was written stays
        Cancelled,  // stopped as asked: see `kept`
    };
    struct Outcome {
        Status status = Status::Done;
        QString path;    // what the failure is about
        QString reason;  // in the current language
        int code = 0;    // the library's code when a call failed
        // A run stopped while it packed the package into the archive: the
        // package, complete, stays (the archive is as it was). Empty when
        // it stopped before the package was written: nothing was.
        QString kept{};
        bool ok() const { return status == Status::Done; }
    };

    PackageJob(LibraryBinding& libraries, void* owner) : m_libraries(libraries), m_owner(owner) {}

    // Whether the target can be packaged: a readable file. The window asks
    // before its dialogs, so it is a step of its own.
    static Outcome checkTarget(const QString& target);

    // Everything that can be refused before a byte is written: the target
    // must be a readable file; the package and the archive must name neither
    // the target nor each other, and must be passable to the archiver. The
    // password is checked by run(), which owns it.
    static Outcome check(const Request& request);

    // check(), then the library calls. `archiverPresent` is start-up's finding:
    // without an archiver the executable would have to stay, so an archived
    // run is refused before anything is written. `control` hears of the work
    // done, the bytes encrypted, then packed, in kStep units each; cancelled,
    // the run stops before, during or after the key derivation or within a
    // mebibyte of encrypting and writes nothing, or within a mebibyte of
    // packing and leaves the archive as it was (the package stays).
    static constexpr qint64 kStep = 1000;
    Outcome run(const Request& request, bool archiverPresent, const JobControl* control = nullptr);

private:
    Outcome archive(const Request& request, const JobControl* control);

    LibraryBinding& m_libraries;
    void* m_owner;
};

}  // namespace dozo
