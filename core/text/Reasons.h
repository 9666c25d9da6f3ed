#pragma once

#include <QString>

namespace dozo {

// The one table of reasons: a library's result code to a short message, in
// Japanese and English, worded for the current language. The window and
// dozo-cli show nothing else for a failed call.
class Reasons {
public:
    // Not a code of any library: the library or its export could not be
    // reached, so nothing was handed to it.
    static constexpr int kUnavailable = -1;
    // Not a code of any library either: a file found by a folder walk is now
    // a link or another file, so it was not handed over.
    static constexpr int kReplacedSinceWalk = -2;
    // Nor this: a name to pack holds a backslash, which every reader of the
    // archive would take for a separator.
    static constexpr int kBackslashName = -3;

    // The transform and keyed libraries answer "cannot open the source" with
    // one code; what is wrong with `path` is looked up afterwards, so the user
    // reads "missing" or "no permission" rather than a bare "cannot open".
    static QString transform(int code, const QString& path);
    static QString keyed(int code, const QString& path);
    static QString archiver(int code);
    // A failure the archiver told in parts (code, cause, the file's name,
    // errno): the path the line is about and the reason, worded for the
    // current language. A file or folder on disk is the path; the archive
    // (`archive`) is it for the rest, an entry's name then in the reason.
    struct ArchiverLine {
        QString path;
        QString reason;
    };
    static ArchiverLine archiverFailure(const QString& archive, int code, int cause,
                                        const QString& name, int systemError);
    // The system's error number in words.
    static QString systemError(int error);
    // Why a finished result could not replace `path`: its folder takes no
    // file, or the file's owner or group cannot be kept by this user. Asked
    // after a library answered "cannot replace", which says no more.
    static QString cannotReplace(const QString& path);
    // A warning the archiver hands back after a run that succeeded, worded
    // for the current language; one this table does not know stays as it is.
    static QString archiverWarning(const QString& warning);
    static QString package(int code);

    // A name given or found that is not UTF-8: as a QString it would name
    // another file, or none.
    static QString nameNotUtf8();
    // What a folder walk could not take (FolderWalk::unreadable):
    // files left as they were, which a run names among its failures.
    static QString unreadableFolder();

    // What becomes of another hard link of a rewritten file, when the run
    // was given that name too: the rewritten file is linked under it, or it
    // keeps the old contents for one of these reasons.
    static QString otherNameFailed(const QString& rewrittenName);
    static QString changedDuringRun();
    static QString linkNotPlaced(int error);
    // After FileEncryptionLCR: the files that running it again does not
    // restore (odd lengths from 3 bytes), and how to restore them.
    static QString notItsOwnInverse();

    enum class OpenProblem { EmptyPath, Missing, Folder, NotAFile, NotReadable, Other };
    static OpenProblem openProblem(const QString& path);
    static QString cannotOpen(const QString& path);
};

}  // namespace dozo
