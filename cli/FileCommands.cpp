// transform and keyed: every named file rewritten in place, as the Rozu32 and
// Zurozid tabs rewrite their lists.
#include "cli/Commands.h"
#include "cli/Secret.h"
#include "cli/Session.h"
#include "core/text/Language.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>
#include "core/jobs/InPlaceJob.h"
#include "core/jobs/ListedFiles.h"
#include "core/jobs/VovKey.h"
#include "core/text/Reasons.h"
#include "core/text/ShownName.h"

#include <QFileInfo>
#include <optional>

namespace dozo::cli {

namespace {

// The operands as the run takes them: folders opened with -r (every one
// taken: -r is the user's yes), and refused without it.
struct Targets {
    std::optional<ListedFiles> list;
    int failed = 0;  // folders named without -r
};

Targets collect(const QStringList& paths, bool recursive, Report& report) {
    Targets targets;
    QList<ListedFiles::Entry> entries;
    for (const QString& path : paths) {
        if (!recursive && QFileInfo(path).isDir()) {
            report.failure(path, say("フォルダーです（-r で中のファイルを処理します）",
                                     "is a folder (use -r to process its files)"));
            ++targets.failed;
            continue;
        }
        // Anything else goes to the library, which says what is wrong with a
        // missing or unreadable path.
        entries.append({path});
    }
    targets.list.emplace(std::move(entries));
    // Files the run never sees are failures all the same: plain text left
    // among files the user believes rewritten.
    for (const ListedFiles::Folder& folder : targets.list->folders()) {
        for (const QString& path : folder.walk.unreadable)
            report.failure(path, Reasons::unreadableFolder());
        for (const QString& shown : folder.walk.unnamed)
            report.error(shown + QStringLiteral(": ") + Reasons::nameNotUtf8());
    }
    return targets;
}

// Calls in flight at once. The calls wait on fsync, not on the processor;
// beyond a few, the file system's commits gain nothing more.
constexpr int kWorkers = 4;

// One library call per file, with progress, each failure named as it happens.
int runBatch(const Targets& targets, const InPlaceJob& job, const Session& session,
             Report& report) {
    const ListedFiles& list = *targets.list;
    const ListedFiles::Files files = list.files();
    const int total = static_cast<int>(files.paths.size());
    qint64 bytes = 0;
    if (total > 0) report.progress(0, total, 0, files.paths.first());
    const BatchOutcome outcome = job.run(
        list, nullptr, session.work().workFiles(kWorkers),
        [&](int done, int index, bool succeeded) {
            bytes += files.sizes[index];
            if (report.verbose() && succeeded) report.note(shownName(files.paths[index]));
            report.progress(done, total, bytes, files.paths[index]);
        },
        [&](const QString& path, const QString& reason) { report.failure(path, reason); });
    report.endProgress();
    for (const QString& path : outcome.repeats())
        report.note(shownName(path) + QStringLiteral(": ") + BatchOutcome::repeatWarning());
    for (const QString& path : outcome.linked())
        report.note(shownName(path) + QStringLiteral(": ") + BatchOutcome::linkedWarning());
    for (const QString& path : outcome.oneWay())
        report.note(shownName(path) + QStringLiteral(": ") + Reasons::notItsOwnInverse());
    const int failed = outcome.failedCount() + targets.failed;
    report.summary(outcome.doneCount(), failed,
                   list.skipped() + static_cast<int>(outcome.repeats().size()));
    return failed == 0 ? kExitOk : kExitFailed;
}

// The index of EncType for a method name: the short codes of the options'
// captions, or the export's own name.
int methodIndex(const QString& name) {
    static const char* const shortNames[7] = {"A", "C", "LC", "LCR", "LCB", "LCRB", "CLOL"};
    for (int i = 0; i < 7; ++i) {
        if (name.compare(QLatin1String(shortNames[i]), Qt::CaseInsensitive) == 0 ||
            name == QLatin1String(contracts::kTransformMethods[i])) {
            return i;
        }
    }
    return -1;
}

}  // namespace

int runTransform(const Arguments& args, Report& report) {
    if (const QString misuse = args.misuse({QStringLiteral("-r")}); !misuse.isEmpty())
        return usageError(report, misuse);
    if (args.operands().size() < 2)
        return usageError(report, say("方式とファイルを指定してください。",
                                      "give a method and at least one path"));
    const int method = methodIndex(args.operands().first());
    if (method < 0) {
        return usageError(report, say("不明な方式: %1（A C LC LCR LCB LCRB CLOL）",
                                      "unknown method: %1 (A C LC LCR LCB LCRB CLOL)")
                                      .arg(args.operands().first()));
    }
    Session session;
    const InPlaceJob job = InPlaceJob::transform(session.libraries().rozu32(), method);
    if (!session.hasTransform() || !job.available())
        return session.missingLibrary(report, "Rozu32");

    const Targets targets = collect(args.operands().mid(1), args.has(QStringLiteral("-r")), report);
    return runBatch(targets, job, session, report);
}

int runKeyed(const Arguments& args, Report& report) {
    const QString keyStdin = QStringLiteral("--key-stdin");
    const QString keyFile = QStringLiteral("--key-file");
    if (const QString misuse = args.misuse({QStringLiteral("-r"), keyStdin, keyFile});
        !misuse.isEmpty())
        return usageError(report, misuse);
    if (args.operands().isEmpty())
        return usageError(report, say("ファイルを指定してください。", "give at least one path"));
    if (args.has(keyStdin) && args.value(keyFile))
        return usageError(report, say("--key-stdin と --key-file は同時に指定できません。",
                                      "give at most one of --key-stdin and --key-file"));

    Session session;
    if (!session.hasKeyed() || !InPlaceJob::keyed(session.libraries().vod32(), 0, {}).available())
        return session.missingLibrary(report, "Vod32");

    SecretSource source;
    if (args.has(keyStdin)) {
        source.kind = SecretSource::Kind::Stdin;
    } else if (const auto file = args.value(keyFile)) {
        source = {SecretSource::Kind::File, *file};
    }
    QString error;
    const std::optional<Secret> typed =
        obtainSecret(source, say("暗号化キー: ", "Key: "),
                     say("暗号化キー（確認）: ", "Key again: "), true, &error);
    if (!typed) {
        report.error(error);
        return kExitRefused;
    }
    // Refused exactly as the tab refuses it, before any file is touched.
    const QString keyText = QString::fromUtf8(typed->bytes());
    // The key box of the tab cannot hold a line break; one read from a file
    // written on Windows would silently become part of the key.
    if (keyText.contains(QLatin1Char('\r'))) {
        report.error(say("暗号化キーに改行が含まれています。ファイルは変更されていません。",
                         "the key holds a line break (CR); no file was changed"));
        return kExitRefused;
    }
    QString refusal;
    const std::optional<QByteArray> key = VovKey::encode(keyText, &refusal);
    if (!key) {
        report.error(refusal);
        return kExitRefused;
    }

    const Targets targets = collect(args.operands(), args.has(QStringLiteral("-r")), report);
    return runBatch(targets, InPlaceJob::keyed(session.libraries().vod32(), 0, *key), session,
                    report);
}

}  // namespace dozo::cli
