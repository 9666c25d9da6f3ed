#include "core/jobs/ArchiveJob.h"

#include "core/jobs/BatchOutcome.h"
#include "core/jobs/HeldListFile.h"
#include "core/jobs/PackageNames.h"
#include "core/libraries/ArchiveCommands.h"
#include "core/text/Language.h"
#include "core/text/Reasons.h"
#include "dozo/fileio/printable.h"

#include <dozo/contracts/unlha32.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string_view>

namespace dozo {

namespace {

using Status = ArchiveJob::Status;
using Outcome = ArchiveJob::Outcome;

bool isFolder(const ArchiverCall::Entry& entry) {
    return entry.name.endsWith(QLatin1Char('/'));
}

int fileCount(const ArchiverCall::Listing& listing) {
    int files = 0;
    for (const ArchiverCall::Entry& entry : listing.entries) files += isFolder(entry) ? 0 : 1;
    return files;
}

// `archive` is what the failure is about unless the archiver named a file.
Outcome failedRun(const QString& archive, const ArchiverCall::Outcome& call, int failed) {
    Outcome outcome{Status::Failed, call.code, call.path.isEmpty() ? archive : call.path,
                    call.reason};
    if (call.code == ArchiverCall::kUnavailable) outcome.status = Status::Unavailable;
    outcome.failed = failed;
    return outcome;
}

// Entries that name one file more than once (by the same path, through a
// link, or as another hard link of the same name) would make the archiver
// refuse two entries of one name: the first naming stands. A hard link is
// known by the inode it shares; one of another name is an entry of its own.
QStringList withoutRepeats(const QStringList& entries, int* repeats) {
    QStringList kept;
    QSet<QString> seen;
    for (const QString& entry : entries) {
        const QFileInfo info(entry);
        const QString path =
            info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
        QString named;
        if (const std::optional<FolderWalk::Identity> file =
                FolderWalk::identityOf(AT_FDCWD, QFile::encodeName(path).constData())) {
            named = QStringLiteral("%1:%2:").arg(file->device).arg(file->inode) + info.fileName();
        }
        if (seen.contains(path) || (!named.isEmpty() && seen.contains(named))) {
            ++*repeats;
            continue;
        }
        seen.insert(path);
        if (!named.isEmpty()) seen.insert(named);
        kept.append(entry);
    }
    return kept;
}

// The file a path leads to, links followed, as the archiver opens it.
std::optional<FolderWalk::Identity> fileAt(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) return std::nullopt;
    return FolderWalk::identityOf(AT_FDCWD, QFile::encodeName(canonical).constData());
}

// Whether a name is taken, by anything: the archiver keeps a link there,
// even one that points nowhere, so it counts as there.
bool taken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The listing shows names safe for a terminal, a control character or a byte
// that is no UTF-8 escaped as "\xXX"; the archiver places the name itself,
// such a byte spelled "%XX".
QString placedName(const QString& shown) {
    if (!shown.contains(QLatin1Char('\\'))) return shown;
    const QByteArray bytes = QFile::encodeName(shown);
    const std::string name =
        fileio::diskName(fileio::fromPrintable(std::string_view(bytes.constData(), bytes.size())));
    return QFile::decodeName(QByteArray::fromStdString(name));
}

// Whether what is at an entry's path is a file the archiver could keep or
// replace: it writes no file over a folder, and follows no link on the way
// down from the destination (`root`, canonical), so a file found through
// one is not the entry's, and the run fails the entry whatever it is asked.
bool blocked(const QString& root, const QString& name) {
    const QFileInfo info(root + QLatin1Char('/') + name);
    if (info.isDir() && !info.isSymLink()) return true;
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 &&
           QFileInfo(info.path()).canonicalFilePath() != root + QLatin1Char('/') + name.left(slash);
}

// Tells `control` where the archiver stands, in bytes when there are any, and
// passes its cancel on. `entries` and `bytes` are the totals when the
// archiver does not know them.
ArchiverCall::Follow follow(const JobControl* control, qint64 entries = -1, qint64 bytes = -1) {
    if (!control) return {};
    return [control, entries, bytes](const ArchiverCall::Progress& p) {
        const qint64 bytesTotal = p.bytesTotal >= 0 ? p.bytesTotal : bytes;
        const qint64 entriesTotal = p.entriesTotal >= 0 ? p.entriesTotal : entries;
        if (bytesTotal > 0) {
            control->report(std::min(p.bytes, bytesTotal), bytesTotal);
        } else if (entriesTotal > 0) {
            control->report(std::min(p.entries, entriesTotal), entriesTotal);
        }
        return !control->cancelled();
    };
}

}  // namespace

std::optional<Outcome> ArchiveJob::refusal(const QStringList& paths) const {
    if (!m_present) {
        return Outcome{Status::Unavailable, ArchiverCall::kUnavailable, QString(),
                       Reasons::archiver(ArchiverCall::kUnavailable)};
    }
    for (const QString& path : paths) {
        if (!ArchiveCommands::isQuotable(path)) {
            return Outcome{Status::Refused, 0, path,
                           say("「\"」を含むパスは書庫の処理に使えません。",
                               "a path holding '\"' cannot be passed to the archiver")};
        }
    }
    return std::nullopt;
}

Outcome ArchiveJob::pack(const QString& archive, const QStringList& entries,
                         const QString& listFile, const char* switches, const JobControl* control) {
    if (auto refused = refusal({archive, listFile})) return *refused;
    // A name the list file cannot carry would be split into other names,
    // and pack files nobody chose.
    if (const std::optional<QString> name = ArchiveCommands::unlistable(entries)) {
        return {Status::Refused, 0, *name,
                say("改行を含む名前は圧縮するファイルとして指定できません。",
                    "a name holding a line break cannot be packed")};
    }
    // Every reader takes a backslash for a separator: "a\b.txt" would come
    // back as b.txt in a folder a. The archiver leaves such a name out of a
    // folder with a warning; one named here is refused by name.
    for (const QString& entry : entries) {
        if (QFileInfo(entry).fileName().contains(QLatin1Char('\\'))) {
            return {Status::Refused, 0, entry, Reasons::archiver(Reasons::kBackslashName)};
        }
    }
    int repeats = 0;
    const QStringList files = withoutRepeats(entries, &repeats);
    const HeldListFile held(listFile, control);
    if (held.cancelled()) {
        Outcome stopped{Status::Cancelled, contracts::unlha::kCancelled, archive,
                        Reasons::archiver(contracts::unlha::kCancelled)};
        stopped.skipped = repeats;
        stopped.notDone = static_cast<int>(files.size());
        return stopped;
    }
    // A list that cannot be written would leave the archiver a stale one
    // from an earlier failed pack, which packs the wrong files.
    QFile list(listFile);
    const QByteArray text = ArchiveCommands::listText(files);
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate) || list.write(text) != text.size() ||
        !list.flush()) {
        Outcome unwritten{Status::Failed, 0, listFile,
                          say("リストファイルを書き込めません", "cannot write the list file")};
        unwritten.failed = static_cast<int>(files.size());
        unwritten.skipped = repeats;
        return unwritten;
    }
    list.close();
    // An existing archive is replaced by a new file: its other hard links
    // keep the old one.
    struct stat before {};
    const bool linked = ::stat(QFile::encodeName(archive).constData(), &before) == 0 &&
                        S_ISREG(before.st_mode) && before.st_nlink > 1;
    // The archiver leaves the archive itself out, with a warning: no file packed.
    int itself = 0;
    if (const std::optional<FolderWalk::Identity> archiveFile = fileAt(archive)) {
        itself = static_cast<int>(std::count_if(files.begin(), files.end(), [&](const QString& f) {
            return fileAt(f) == archiveFile;
        }));
    }
    const ArchiverCall::Outcome call =
        m_call.run(m_owner, ArchiveCommands::packListCommand(archive, listFile, switches),
                   follow(control), archive);
    const int given = static_cast<int>(files.size());
    if (call.code == contracts::unlha::kCancelled) {
        // Not a failure to retry: the list was what the user chose to stop.
        QFile::remove(listFile);
        Outcome stopped{Status::Cancelled, call.code, archive, call.reason};
        stopped.skipped = repeats;
        stopped.notDone = given;
        return stopped;
    }
    if (call.failed()) return failedRun(archive, call, given);
    QFile::remove(listFile);
    Outcome done;
    done.done = given - itself;
    done.skipped = repeats + itself;
    done.warnings = call.warnings;
    if (linked)
        done.warnings.append(BatchOutcome::linkedWarning() + QStringLiteral(": ") + archive);
    return done;
}

Outcome ArchiveJob::unpack(const QString& archive, const QString& folder, const char* switches,
                           const JobControl* control) {
    const QString destination = folder + QLatin1Char('/');
    if (auto refused = refusal({archive, destination})) return *refused;
    // The listing is the check: an archive it can list can be extracted, and
    // it counts what is already there, so that a run keeping existing files
    // can say how many it kept. The archive is read twice, not more.
    const ArchiverCall::Listing listing = m_call.list(m_owner, archive);
    const int code = listing.outcome.code;
    if (code == ArchiverCall::kUnavailable) return *refusal({});
    if (code == contracts::unlha::kNotArchive) {
        return {
            Status::NotAnArchive,
            code,
            archive,
            say("展開可能な書庫ファイルではありません。", "not an archive that can be unpacked"),
            0,
            1,
            0};
    }
    if (code == contracts::unlha::kArchiveOpen) return failedRun(archive, listing.outcome, 1);
    // Damage further on is the extraction's to report, after what it can
    // still place.
    const bool counted = !listing.outcome.failed();
    QStringList absent;  // the files the run may place
    // The files there already, as they are: a replaced one is a new file
    // under the old name.
    QList<std::pair<QByteArray, std::optional<FolderWalk::Identity>>> present;
    // A name the archive holds again is one path: its later entries are kept
    // back or replace the first, as a file that was there already.
    QSet<QString> named;
    // Names whose file can be neither kept nor replaced, their repeats too.
    QSet<QString> blockedNames;
    const QString root = QFileInfo(folder).canonicalFilePath();
    int files = 0, repeats = 0, blockedFiles = 0;
    qint64 bytes = 0;
    for (const ArchiverCall::Entry& entry : listing.entries) {
        bytes += entry.size;
        if (isFolder(entry)) continue;
        ++files;
        const QString name = placedName(entry.name);
        const QString path = destination + name;
        if (named.contains(path)) {
            ++repeats;
            if (blockedNames.contains(path)) ++blockedFiles;
            continue;
        }
        named.insert(path);
        if (!taken(path)) {
            absent.append(path);
        } else {
            const QByteArray encoded = QFile::encodeName(path);
            present.append({encoded, FolderWalk::identityOf(AT_FDCWD, encoded.constData())});
            if (blocked(root, name)) {
                blockedNames.insert(path);
                ++blockedFiles;
            }
        }
    }
    const int existing = files - repeats - static_cast<int>(absent.size());

    const bool made = !QFileInfo::exists(folder);
    if (!QDir().mkpath(folder)) {
        return {Status::Failed,
                0,
                folder,
                say("フォルダーを作成できません", "cannot create the folder"),
                0,
                1,
                0};
    }
    const ArchiverCall::Outcome call = m_call.run(
        m_owner, ArchiveCommands::extractCommand(archive, destination, switches),
        follow(control, counted ? listing.entries.size() : -1, counted ? bytes : -1), archive);
    if (!call.failed()) {
        Outcome done;
        done.done = counted ? files : 1;
        // A mode or time the archiver could not restore loses no data, but
        // the user is told.
        done.warnings = call.warnings;
        return done;
    }
    if (made) QDir().rmdir(folder);  // only when it is still empty
    Outcome outcome = failedRun(archive, call, counted ? files : 1);
    if (!counted) return outcome;
    // What the run placed before it stopped counts as done: a damaged entry
    // near the end does not undo the ones before it. Files that were there
    // already are kept, or were replaced by a new file.
    const bool kept = call.code == contracts::unlha::kSkipped ||
                      std::string_view(switches) == contracts::kUnlhaKeepExisting;
    const auto isReplaced = [](const auto& file) {
        return FolderWalk::identityOf(AT_FDCWD, file.first.constData()) != file.second;
    };
    // A folder made for a later entry's path does not place this one's file.
    const auto isPlaced = [](const QString& path) {
        const QFileInfo info(path);
        return info.isSymLink() || (info.exists() && !info.isDir());
    };
    const int placed = static_cast<int>(std::count_if(absent.begin(), absent.end(), isPlaced));
    const int replaced =
        kept ? 0 : static_cast<int>(std::count_if(present.begin(), present.end(), isReplaced));
    // Kept back, a repeat is skipped. Replacing, whether it was reached
    // before the run stopped cannot be told from the path: it is not claimed.
    outcome.done = placed + replaced;
    outcome.skipped = kept ? existing + repeats - blockedFiles : 0;
    if (call.code == contracts::unlha::kCancelled) {
        outcome.status = Status::Cancelled;
        outcome.path = archive;
        outcome.removed = call.path;
        outcome.notDone = files - outcome.done - outcome.skipped;
        outcome.failed = 0;
        return outcome;
    }
    outcome.failed = files - outcome.done - outcome.skipped;
    // Every file accounted for, the run still failed on an entry that is no
    // file (a folder it could not make, a refused name listed as a folder):
    // that entry failed.
    if (outcome.failed == 0 && call.code != contracts::unlha::kSkipped) outcome.failed = 1;
    return outcome;
}

ArchiverCall::Listing ArchiveJob::list(const QString& archive) {
    if (auto refused = refusal({archive})) return {{refused->code, refused->reason}, {}};
    return m_call.list(m_owner, archive);
}

Outcome ArchiveJob::test(const QString& archive) {
    if (auto refused = refusal({archive})) return *refused;
    const ArchiverCall::Outcome call =
        m_call.run(m_owner, ArchiveCommands::testCommand(archive), {}, archive);
    if (call.failed()) return failedRun(archive, call, 1);
    // The count comes from a second pass; when that fails the archive is not
    // known to be intact either.
    const ArchiverCall::Listing listing = m_call.list(m_owner, archive);
    if (listing.outcome.failed()) return failedRun(archive, listing.outcome, 1);
    Outcome done;
    done.done = fileCount(listing);
    return done;
}

}  // namespace dozo
