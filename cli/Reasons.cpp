#include "Reasons.h"

#include "Text.h"

#include <FailureReason.h>
#include <PackageCall.h>

#include <QFileInfo>

namespace dozo::cli {

namespace {

QString cannotOpen(const QString& path) {
    if (path.isEmpty()) return QStringLiteral("empty path");
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("no such file");
    if (info.isDir()) return QStringLiteral("is a folder");
    if (!info.isFile()) return QStringLiteral("not a regular file");
    if (!info.isReadable()) return QStringLiteral("permission denied");
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
    // The codes of rozu32.h.
    static const Meaning byCode[] = {Meaning::Source, Meaning::WorkFile, Meaning::Read,
                                     Meaning::Write,  Meaning::ReadOnly, Meaning::Replace};
    if (code == FailureReason::kUnavailable) return QStringLiteral("the library cannot be called");
    if (code >= 1 && code <= 6) return english(byCode[code - 1], path);
    return unknown(code);
}

QString keyedReason(int code, const QString& path) {
    if (japanese()) return FailureReason::forKeyed(code, path);
    // The codes of vod32.h.
    static const Meaning byCode[] = {Meaning::Source,   Meaning::WorkFile, Meaning::KeyTooLong,
                                     Meaning::KeyEmpty, Meaning::Read,     Meaning::Write,
                                     Meaning::ReadOnly, Meaning::Replace};
    if (code == FailureReason::kUnavailable) return QStringLiteral("the library cannot be called");
    if (code >= 1 && code <= 8) return english(byCode[code - 1], path);
    return unknown(code);
}

QString archiverReason(const ArchiverCall::Outcome& outcome) {
    if (japanese()) return outcome.reason;
    // The archiver explains itself in Japanese; its text names the entry, so
    // it follows the English summary of the code.
    QString general;
    switch (outcome.code) {
        case ArchiverCall::kUnavailable:
            return QStringLiteral("the archiver library cannot be loaded");
        case 1:
            general = QStringLiteral("command not accepted");
            break;
        case 2:
            general = QStringLiteral("the archive cannot be opened");
            break;
        case 3:
            general = QStringLiteral("not an LHA archive, or a damaged one");
            break;
        case 4:
            general = QStringLiteral("damaged data in the archive");
            break;
        case 5:
            general = QStringLiteral("unsafe entry not extracted");
            break;
        case 6:
            general = QStringLiteral("existing files kept");
            break;
        case 7:
            general = QStringLiteral("a file to pack cannot be read");
            break;
        case 8:
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
    // The codes of the package library's interface.
    switch (code) {
        case PackageCall::kUnavailable:
            return QStringLiteral("the package library cannot be loaded");
        case 1:
            return QStringLiteral("no file to package or no destination");
        case 2:
            return QStringLiteral("the password is empty, too long or holds a line break");
        case 3:
            return QStringLiteral("the file to package cannot be read");
        case 4:
            return QStringLiteral("read error in the file to package");
        case 5:
            return QStringLiteral("the package cannot be created at its destination");
        case 6:
            return QStringLiteral("the package cannot be written");
        case 7:
            return QStringLiteral("the package cannot be saved");
        case 8:
            return QStringLiteral("encryption failed (out of memory?)");
        default:
            return unknown(code);
    }
}

}  // namespace dozo::cli
