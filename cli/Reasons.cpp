#include "Reasons.h"

#include "Text.h"

#include <FailureReason.h>
#include <PackageCall.h>

#include <dozo/contracts/rivo.h>
#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/unlha32.h>
#include <dozo/contracts/vod32.h>

namespace dozo::cli {

namespace {

QString cannotOpen(const QString& path) {
    using Problem = FailureReason::OpenProblem;
    switch (FailureReason::openProblem(path)) {
        case Problem::EmptyPath:
            return QStringLiteral("empty path");
        case Problem::Missing:
            return QStringLiteral("no such file");
        case Problem::Folder:
            return QStringLiteral("is a folder");
        case Problem::NotAFile:
            return QStringLiteral("not a regular file");
        case Problem::NotReadable:
            return QStringLiteral("permission denied");
        case Problem::Other:
            break;
    }
    return QStringLiteral("cannot be opened");
}

QString unknown(int code) {
    return QStringLiteral("failed (code %1)").arg(code);
}

// Reasons the two file libraries share, by their meaning.
enum class Meaning { Source, WorkFile, KeyTooLong, KeyEmpty, Read, Write, ReadOnly, Replace };

QString english(Meaning meaning, const QString& path) {
    switch (meaning) {
        case Meaning::Source:
            return cannotOpen(path);
        case Meaning::WorkFile:
            return QStringLiteral("the work file cannot be created");
        case Meaning::KeyTooLong:
            return QStringLiteral("the key is too long");
        case Meaning::KeyEmpty:
            return QStringLiteral("the key is empty");
        case Meaning::Read:
            return QStringLiteral("read error");
        case Meaning::Write:
            return QStringLiteral("write failed (disk full?)");
        case Meaning::ReadOnly:
            return QStringLiteral("read-only file");
        case Meaning::Replace:
            return QStringLiteral("cannot replace the file (folder not writable?)");
    }
    return QString();
}

}  // namespace

QString transformReason(int code, const QString& path) {
    if (japanese()) return FailureReason::forTransform(code, path);
    namespace r = contracts::rozu32;
    switch (code) {
        case FailureReason::kUnavailable:
            return QStringLiteral("the library cannot be called");
        case r::kSource:
            return english(Meaning::Source, path);
        case r::kWorkFile:
            return english(Meaning::WorkFile, path);
        case r::kRead:
            return english(Meaning::Read, path);
        case r::kWrite:
            return english(Meaning::Write, path);
        case r::kReadOnly:
            return english(Meaning::ReadOnly, path);
        case r::kReplace:
            return english(Meaning::Replace, path);
        default:
            return unknown(code);
    }
}

QString keyedReason(int code, const QString& path) {
    if (japanese()) return FailureReason::forKeyed(code, path);
    namespace v = contracts::vod32;
    switch (code) {
        case FailureReason::kUnavailable:
            return QStringLiteral("the library cannot be called");
        case v::kSource:
            return english(Meaning::Source, path);
        case v::kWorkFile:
            return english(Meaning::WorkFile, path);
        case v::kKeyTooLong:
            return english(Meaning::KeyTooLong, path);
        case v::kKeyEmpty:
            return english(Meaning::KeyEmpty, path);
        case v::kRead:
            return english(Meaning::Read, path);
        case v::kWrite:
            return english(Meaning::Write, path);
        case v::kReadOnly:
            return english(Meaning::ReadOnly, path);
        case v::kReplace:
            return english(Meaning::Replace, path);
        default:
            return unknown(code);
    }
}

QString archiverReason(const ArchiverCall::Outcome& outcome) {
    if (japanese()) return outcome.reason;
    // The archiver explains itself in Japanese; its text names the entry, so
    // it follows the English summary of the code.
    QString general;
    switch (outcome.code) {
        case ArchiverCall::kUnavailable:
            return QStringLiteral("the archiver library cannot be loaded");
        case contracts::unlha::kCommand:
            general = QStringLiteral("command not accepted");
            break;
        case contracts::unlha::kArchiveOpen:
            general = QStringLiteral("the archive cannot be opened");
            break;
        case contracts::unlha::kNotArchive:
            general = QStringLiteral("not an LHA archive, or a damaged one");
            break;
        case contracts::unlha::kData:
            general = QStringLiteral("damaged data in the archive");
            break;
        case contracts::unlha::kUnsafeEntry:
            general = QStringLiteral("unsafe entry not extracted");
            break;
        case contracts::unlha::kSkipped:
            general = QStringLiteral("existing files kept");
            break;
        case contracts::unlha::kInput:
            general = QStringLiteral("a file to pack cannot be read");
            break;
        case contracts::unlha::kWrite:
            general = QStringLiteral("cannot write");
            break;
        default:
            general = unknown(outcome.code);
            break;
    }
    const QString detail = outcome.reason;
    if (detail.isEmpty() || detail == ArchiverCall::reasonFor(outcome.code)) return general;
    return general + QStringLiteral(" (") + detail + QLatin1Char(')');
}

QString packageReason(int code) {
    if (japanese()) return PackageCall::reasonFor(code);
    switch (code) {
        case PackageCall::kUnavailable:
            return QStringLiteral("the package library cannot be loaded");
        case contracts::rivo::kArgument:
            return QStringLiteral("no file to package or no destination");
        case contracts::rivo::kPassword:
            return QStringLiteral("the password is empty, too long or holds a line break");
        case contracts::rivo::kSource:
            return QStringLiteral("the file to package cannot be read");
        case contracts::rivo::kRead:
            return QStringLiteral("read error in the file to package");
        case contracts::rivo::kDestination:
            return QStringLiteral("the package cannot be created at its destination");
        case contracts::rivo::kWrite:
            return QStringLiteral("the package cannot be written");
        case contracts::rivo::kReplace:
            return QStringLiteral("the package cannot be saved");
        case contracts::rivo::kCrypto:
            return QStringLiteral("encryption failed (out of memory?)");
        default:
            return unknown(code);
    }
}

}  // namespace dozo::cli
