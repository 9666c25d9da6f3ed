// pack, unpack, list and test: the archive tab's two commands, and the
// archiver's listing and test, from the command line.
#include "core/libraries/ArchiveCommands.h"
#include "cli/Commands.h"
#include "cli/Interruption.h"
#include "cli/Session.h"
#include "core/jobs/ArchiveJob.h"
#include "core/text/Language.h"
#include "core/text/ShownName.h"

#include <dozo/contracts/unlha32.h>

#include <QFile>
#include <QFileInfo>
#include <charconv>

namespace dozo::cli {

namespace {

// Draws a pack's or an unpack's progress on the terminal, one line in place,
// and stops the run on an interrupt (SIGINT, SIGTERM) as the window's 中止
// does: the run says what it came to and the program then ends by that signal.
class ShownProgress {
public:
    ShownProgress(Report& report, const QString& archive)
        : m_control([&report, archive](qint64 done, qint64 total) {
              report.progressShare(done, total, archive);
          }),
          m_interruption(m_control) {}
    const JobControl* control() const { return &m_control; }
    const Interruption& interruption() const { return m_interruption; }

private:
    JobControl m_control;
    Interruption m_interruption;
};

// Says what a job came to; the exit status for it. `stopped` words a
// cancelled run, %1 the files it did not do.
int finish(Report& report, const ArchiveJob::Outcome& outcome, const QString& stopped = {}) {
    using Status = ArchiveJob::Status;
    if (outcome.status == Status::Unavailable ||
        (outcome.status == Status::Refused && outcome.path.isEmpty())) {
        report.error(outcome.reason);
        return kExitRefused;
    }
    if (outcome.status == Status::Refused) {
        report.failure(outcome.path, outcome.reason);
        return kExitRefused;
    }
    for (const QString& warning : outcome.warnings)
        report.note(say("警告: %1", "warning: %1").arg(warning));
    if (outcome.status == Status::Cancelled) {
        report.failure(outcome.path, stopped.arg(outcome.notDone));
        if (!outcome.removed.isEmpty()) report.failure(outcome.removed, outcome.reason);
        // What the stop left undone stays as it was.
        report.summary(outcome.done, outcome.failed, outcome.skipped + outcome.notDone);
        return kExitFailed;
    }
    if (!outcome.ok()) report.failure(outcome.path, outcome.reason);
    report.summary(outcome.done, outcome.failed, outcome.skipped);
    return outcome.ok() ? kExitOk : kExitFailed;
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

// The method for this run only; without -m the user's setting applies.
std::optional<const char*> methodSwitch(const Arguments& args) {
    const auto name = args.value(QStringLiteral("-m"));
    if (!name) return "";
    if (*name == QLatin1String("lh5")) return contracts::kUnlhaMethodLh5;
    if (*name == QLatin1String("lh6")) return contracts::kUnlhaMethodLh6;
    if (*name == QLatin1String("lh7")) return contracts::kUnlhaMethodLh7;
    return std::nullopt;
}

// The level for this run only; without --level the user's setting applies.
std::optional<const char*> levelSwitch(const Arguments& args) {
    const auto name = args.value(QStringLiteral("--level"));
    if (!name) return "";
    if (*name == QLatin1String("normal")) return contracts::kUnlhaLevelNormal;
    if (*name == QLatin1String("max")) return contracts::kUnlhaLevelMax;
    return std::nullopt;
}

// Spaces that fill a column of `width` holding `used` characters; a longer
// text is never cut.
void pad(QString& line, qsizetype used, qsizetype width) {
    if (used < width) line.resize(line.size() + width - used, QLatin1Char(' '));
}

void appendLeft(QString& line, const QString& text, qsizetype width) {
    line.append(text);
    pad(line, text.size(), width);
}

void appendRight(QString& line, qint64 number, qsizetype width) {
    char digits[24];
    const qsizetype n = std::to_chars(digits, digits + sizeof digits, number).ptr - digits;
    pad(line, n, width);
    line.append(QLatin1StringView(digits, n));
}

// list and test: one archive operand, read once the archiver is bound.
template <class Read>
int readArchive(const Arguments& args, Report& report, Read&& read) {
    int exit = kExitOk;
    if (!checkOperands(args, {}, 1, 1, report, &exit)) return exit;
    const QString archive = absolutePath(args.operands().first());
    Session session;
    if (!session.hasArchiver()) return session.missingLibrary(report, "unlha32");
    ArchiveJob job(session.libraries().unlha32(), nullptr, true);
    return read(job, archive);
}

}  // namespace

int runPack(const Arguments& args, Report& report) {
    int exit = kExitOk;
    if (!checkOperands(args, {QStringLiteral("-m"), QStringLiteral("--level")}, 2, -1, report,
                       &exit))
        return exit;
    const std::optional<const char*> method = methodSwitch(args);
    if (!method) {
        return usageError(report, say("-m には lh5、lh6、lh7 のいずれかを指定してください。",
                                      "-m takes lh5, lh6 or lh7"));
    }
    const std::optional<const char*> level = levelSwitch(args);
    if (!level) {
        return usageError(report, say("--level には normal か max を指定してください。",
                                      "--level takes normal or max"));
    }
    const std::string switches = std::string(*method) + *level;
    const QString archive = absolutePath(args.operands().first());
    QStringList entries;
    for (const QString& path : args.operands().mid(1)) entries.append(absolutePath(path));

    Session session;
    if (!session.hasArchiver()) return session.missingLibrary(report, "unlha32");
    // A list file of this run's own: two runs at once (make -j) must not
    // pack each other's files through a shared one.
    const QString list = session.work().runListFile();
    if (list.isEmpty()) {
        report.failure(session.work().path(),
                       say("リストファイルを書き込めません", "cannot write the list file"));
        return kExitFailed;
    }

    report.note(say("圧縮中: %1", "packing %1").arg(shownName(archive)));
    ArchiveJob job(session.libraries().unlha32(), nullptr, true);
    const ShownProgress shown(report, archive);
    const ArchiveJob::Outcome outcome =
        job.pack(archive, entries, list, switches.c_str(), shown.control());
    QFile::remove(list);
    exit = finish(report, outcome,
                  say("中止しました。書庫は元のままです（%1 個のファイルは格納していません）",
                      "cancelled; the archive is as it was (%1 files not packed)"));
    shown.interruption().endByIt();
    return exit;
}

int runUnpack(const Arguments& args, Report& report) {
    int exit = kExitOk;
    const QString overwrite = QStringLiteral("--overwrite");
    if (!checkOperands(args, {overwrite}, 1, 2, report, &exit)) return exit;
    const QString archive = absolutePath(args.operands().first());
    // Without DIR, the folder the tab would make: named after the archive,
    // here in the current folder.
    const QString folder =
        args.operands().size() == 2
            ? absolutePath(args.operands().at(1))
            : absolutePath(ArchiveCommands::unpackFolderName(QFileInfo(archive).fileName()));

    Session session;
    if (!session.hasArchiver()) return session.missingLibrary(report, "unlha32");
    report.note(
        say("展開中: %1 → %2", "unpacking %1 into %2").arg(shownName(archive), shownName(folder)));
    ArchiveJob job(session.libraries().unlha32(), nullptr, true);
    const ShownProgress shown(report, archive);
    const ArchiveJob::Outcome outcome = job.unpack(
        archive, folder,
        args.has(overwrite) ? contracts::kUnlhaReplaceExisting : contracts::kUnlhaKeepExisting,
        shown.control());
    exit = finish(report, outcome,
                  say("中止しました（%1 個のファイルは展開していません）",
                      "cancelled (%1 files not unpacked)"));
    shown.interruption().endByIt();
    return exit;
}

int runList(const Arguments& args, Report& report) {
    return readArchive(args, report, [&](ArchiveJob& job, const QString& archive) {
        const ArchiverCall::Listing listing = job.list(archive);
        if (listing.outcome.failed()) {
            ArchiveJob::Outcome failed{ArchiveJob::Status::Failed, listing.outcome.code, archive,
                                       listing.outcome.reason};
            failed.failed = 1;
            return finish(report, failed);
        }
        report.result(say("%1 %2 %3 %4 %5", "%1 %2 %3 %4 %5")
                          .arg(say("サイズ", "size"), 12)
                          .arg(say("圧縮後", "packed"), 12)
                          .arg(say("方式", "method"), -6)
                          .arg(say("日時", "date"), -19)
                          .arg(say("名前", "name")));
        // Lines are made by appending and written a block at a time: a
        // listing can run to a million, and a pattern and a write for each
        // line would cost more than the archiver's own walk.
        constexpr qsizetype kBlock = 64 * 1024;
        QString block;
        block.reserve(kBlock + 1024);
        for (const ArchiverCall::Entry& entry : listing.entries) {
            appendRight(block, entry.size, 12);
            block.append(QLatin1Char(' '));
            appendRight(block, entry.packed, 12);
            block.append(QLatin1Char(' '));
            appendLeft(block, entry.method, 6);
            block.append(QLatin1Char(' '));
            appendLeft(block, entry.modifiedText, 19);
            block.append(QLatin1Char(' '));
            // The archiver's listing shows names escaped already.
            block.append(entry.name);
            block.append(QLatin1Char('\n'));
            if (block.size() >= kBlock) {
                report.results(block);
                block.resize(0);
            }
        }
        report.results(block);
        report.summary(static_cast<int>(listing.entries.size()), 0, 0);
        return static_cast<int>(kExitOk);
    });
}

int runTest(const Arguments& args, Report& report) {
    return readArchive(args, report, [&](ArchiveJob& job, const QString& archive) {
        const ArchiveJob::Outcome outcome = job.test(archive);
        if (outcome.ok()) {
            report.note(say("%1: 全てのエントリーが正常です", "%1: every entry is intact")
                            .arg(shownName(archive)));
        }
        return finish(report, outcome);
    });
}

}  // namespace dozo::cli
