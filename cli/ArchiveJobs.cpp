// pack, unpack, list and test: the archive tab's two commands, and the
// archiver's listing and test, from the command line.
#include "Commands.h"
#include "Reasons.h"
#include "Session.h"
#include "Text.h"

#include <ArchiveCommands.h>
#include <dozo/contracts/unlha32.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace dozo::cli {

namespace {

int archiveFailed(Report& report, const QString& archive, const ArchiverCall::Outcome& outcome,
                  int entries) {
    report.failure(archive, archiverReason(outcome));
    report.summary(0, entries, 0);
    return outcome.code == ArchiverCall::kUnavailable ? kExitRefused : kExitFailed;
}

bool isFolder(const ArchiverCall::Entry& entry) {
    return entry.name.endsWith(QLatin1Char('/'));
}

bool checkOperands(const Arguments& args, const QStringList& known, qsizetype least, qsizetype most,
                   Report& report, int* exit) {
    if (const QString misuse = args.misuse(known); !misuse.isEmpty()) {
        *exit = usageError(report, misuse);
        return false;
    }
    const qsizetype n = args.operands().size();
    if (n < least || (most >= 0 && n > most)) {
        *exit = usageError(report, say("引数の数が正しくありません。", "wrong number of operands"));
        return false;
    }
    return true;
}

// list and test: one archive operand, read once the archiver is bound.
template <class Job>
int readArchive(const Arguments& args, Report& report, Job&& job) {
    int exit = kExitOk;
    if (!checkOperands(args, {}, 1, 1, report, &exit)) return exit;
    const QString archive = absolutePath(args.operands().first());
    if (!ArchiveCommands::isQuotable(archive)) return quoteRefused(report);
    Session session;
    if (!session.hasArchiver()) return session.missingLibrary(report, "unlha32");

    ArchiverCall call(session.libraries().unlha32());
    return job(call, archive);
}

}  // namespace

int runPack(const Arguments& args, Report& report) {
    int exit = kExitOk;
    if (!checkOperands(args, {QStringLiteral("-m")}, 2, -1, report, &exit)) return exit;
    // The method for this run only; without -m the user's setting applies.
    const char* method = "";
    if (const auto name = args.value(QStringLiteral("-m"))) {
        if (*name == QLatin1String("lh5")) {
            method = contracts::kUnlhaMethodLh5;
        } else if (*name == QLatin1String("lh6")) {
            method = contracts::kUnlhaMethodLh6;
        } else if (*name == QLatin1String("lh7")) {
            method = contracts::kUnlhaMethodLh7;
        } else {
            return usageError(report, say("-m には lh5、lh6、lh7 のいずれかを指定してください。",
                                          "-m takes lh5, lh6 or lh7"));
        }
    }
    const QString archive = absolutePath(args.operands().first());
    QStringList entries;
    for (const QString& path : args.operands().mid(1)) entries.append(absolutePath(path));
    if (!ArchiveCommands::isQuotable(archive) || !ArchiveCommands::isListable(entries))
        return quoteRefused(report);

    Session session;
    if (!session.hasArchiver()) return session.missingLibrary(report, "unlha32");

    // A list file of this run's own: two runs at once (make -j) must not
    // pack each other's files through a shared one.
    QTemporaryFile list(session.work().path() + QStringLiteral("/LPF-XXXXXX.tmp"));
    const QByteArray text = ArchiveCommands::listText(entries);
    if (!list.open() || list.write(text) != text.size() || !list.flush()) {
        report.failure(list.fileName(),
                       say("リストファイルを書き込めません", "cannot write the list file"));
        return kExitFailed;
    }
    list.close();
    if (!ArchiveCommands::isQuotable(list.fileName())) return quoteRefused(report);

    report.note(say("圧縮中: %1", "packing %1").arg(shownName(archive)));
    ArchiverCall call(session.libraries().unlha32());
    const ArchiverCall::Outcome outcome =
        call.run(nullptr, ArchiveCommands::packListCommand(archive, list.fileName(), method));
    const int given = static_cast<int>(entries.size());
    if (outcome.failed()) return archiveFailed(report, archive, outcome, given);
    report.summary(given, 0, 0);
    return kExitOk;
}

int runUnpack(const Arguments& args, Report& report) {
    int exit = kExitOk;
    const QString overwrite = QStringLiteral("--overwrite");
    if (!checkOperands(args, {overwrite}, 1, 2, report, &exit)) return exit;
    const QString archive = absolutePath(args.operands().first());
    const bool intoGiven = args.operands().size() == 2;
    // Without DIR, the folder the tab would make: named after the archive,
    // here in the current folder.
    const QString folder =
        intoGiven ? absolutePath(args.operands().at(1))
                  : absolutePath(ArchiveCommands::unpackFolderName(QFileInfo(archive).fileName()));
    const QString destination = folder + QLatin1Char('/');
    if (!ArchiveCommands::isQuotable(archive) || !ArchiveCommands::isQuotable(destination))
        return quoteRefused(report);

    Session session;
    if (!session.hasArchiver()) return session.missingLibrary(report, "unlha32");
    ArchiverCall call(session.libraries().unlha32());
    // Checked before the folder is made, so a wrong file leaves nothing behind.
    const std::optional<bool> extractable = call.checkArchive(archive);
    if (!extractable) return session.missingLibrary(report, "unlha32");
    if (!*extractable) {
        report.failure(archive, say("展開可能な書庫ファイルではありません",
                                    "not an archive that can be unpacked"));
        report.summary(0, 1, 0);
        return kExitFailed;
    }

    // What is already there is kept unless --overwrite: counted beforehand so
    // the summary can say how many were kept.
    const ArchiverCall::Listing listing = call.list(nullptr, archive);
    const bool counted = !listing.outcome.failed();
    int files = 0;
    int existing = 0;
    for (const ArchiverCall::Entry& entry : listing.entries) {
        if (isFolder(entry)) continue;
        ++files;
        if (QFileInfo::exists(destination + entry.name)) ++existing;
    }

    if (!QDir().mkpath(folder)) {
        report.failure(folder, say("フォルダーを作成できません", "cannot create the folder"));
        return kExitFailed;
    }
    const bool replace = args.has(overwrite);
    report.note(
        say("展開中: %1 → %2", "unpacking %1 into %2").arg(shownName(archive), shownName(folder)));
    const ArchiverCall::Outcome outcome =
        call.run(nullptr, ArchiveCommands::extractCommand(archive, destination,
                                                          replace ? contracts::kUnlhaReplaceExisting
                                                                  : contracts::kUnlhaKeepExisting));
    // Kept files are what the user asked for without --overwrite.
    if (outcome.code == contracts::unlha::kSkipped && !replace) {
        report.note(archiverReason(outcome));
        report.summary(counted ? files - existing : 0, 0, counted ? existing : 1);
        return kExitOk;
    }
    if (outcome.failed()) return archiveFailed(report, archive, outcome, counted ? files : 1);
    report.summary(counted ? files : 1, 0, 0);
    return kExitOk;
}

int runList(const Arguments& args, Report& report) {
    return readArchive(args, report, [&](ArchiverCall& call, const QString& archive) -> int {
        const ArchiverCall::Listing listing = call.list(nullptr, archive);
        if (listing.outcome.failed()) return archiveFailed(report, archive, listing.outcome, 1);
        report.result(say("%1 %2 %3 %4 %5", "%1 %2 %3 %4 %5")
                          .arg(say("サイズ", "size"), 12)
                          .arg(say("圧縮後", "packed"), 12)
                          .arg(say("方式", "method"), -6)
                          .arg(say("日時", "date"), -19)
                          .arg(say("名前", "name")));
        for (const ArchiverCall::Entry& entry : listing.entries) {
            report.result(
                QStringLiteral("%1 %2 %3 %4 %5")
                    .arg(entry.size, 12)
                    .arg(entry.packed, 12)
                    .arg(entry.method, -6)
                    .arg(entry.modified.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), -19)
                    .arg(shownName(entry.name)));
        }
        report.summary(static_cast<int>(listing.entries.size()), 0, 0);
        return kExitOk;
    });
}

int runTest(const Arguments& args, Report& report) {
    return readArchive(args, report, [&](ArchiverCall& call, const QString& archive) -> int {
        const ArchiverCall::Outcome outcome =
            call.run(nullptr, ArchiveCommands::testCommand(archive));
        if (outcome.failed()) return archiveFailed(report, archive, outcome, 1);
        const ArchiverCall::Listing listing = call.list(nullptr, archive);
        int files = 0;
        for (const ArchiverCall::Entry& entry : listing.entries) files += isFolder(entry) ? 0 : 1;
        report.note(say("%1: 全てのエントリーが正常です", "%1: every entry is intact")
                        .arg(shownName(archive)));
        report.summary(listing.outcome.failed() ? 1 : files, 0, 0);
        return kExitOk;
    });
}

}  // namespace dozo::cli
