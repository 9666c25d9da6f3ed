// package: the package tab's two commands, Encrypt and Encrypt and archive.
#include "cli/Commands.h"
#include "cli/Interruption.h"
#include "cli/Secret.h"
#include "cli/Session.h"
#include "core/jobs/PackageJob.h"
#include "core/jobs/PackageNames.h"
#include "core/text/Language.h"
#include "core/text/Reasons.h"
#include "core/text/ShownName.h"

#include <dozo/contracts/rivo.h>

#include <QFileInfo>

namespace dozo::cli {

int runPackage(const Arguments& args, Report& report) {
    const QString fromStdin = QStringLiteral("--password-stdin");
    const QString fromFile = QStringLiteral("--password-file");
    const QString lzh = QStringLiteral("--lzh");
    const QString overwrite = QStringLiteral("--overwrite");
    if (const QString misuse = args.misuse({fromStdin, fromFile, lzh, overwrite});
        !misuse.isEmpty())
        return usageError(report, misuse);
    const qsizetype n = args.operands().size();
    if (n < 1 || n > 2)
        return usageError(report, say("暗号化するファイルを一つ指定してください。",
                                      "give one file to package and optionally OUT.exe"));
    if (args.has(fromStdin) && args.value(fromFile))
        return usageError(report,
                          say("--password-stdin と --password-file は同時に指定できません。",
                              "give at most one of --password-stdin and --password-file"));

    PackageJob::Request request;
    request.target = absolutePath(args.operands().first());
    request.archive = args.has(lzh);
    // OUT defaults to the name the tab proposes in its save dialog.
    request.executable = n == 2 ? absolutePath(args.operands().at(1))
                                : PackageNames::proposedExecutableName(request.target);
    // The proposal cuts the last four characters off; for a short name that
    // cut reaches into the folder, where the dialog would have shown it.
    if (n != 2 &&
        QFileInfo(request.executable).absolutePath() != QFileInfo(request.target).absolutePath()) {
        return usageError(
            report, say("このファイル名からは出力名を決められません。出力.exe を指定してください。",
                        "no output name can be made from this file name; give OUT"));
    }
    // A target that cannot be read is a failed file; a name that cannot be
    // used is a usage error.
    if (const PackageJob::Outcome target = PackageJob::checkTarget(request.target); !target.ok()) {
        report.failure(target.path, target.reason);
        report.summary(0, 1, 0);
        return kExitFailed;
    }
    if (const PackageJob::Outcome checked = PackageJob::check(request); !checked.ok()) {
        report.failure(checked.path, checked.reason);
        return kExitRefused;
    }
    // The window's save dialog asks before a file is replaced; nothing asks
    // here, so a file at OUT is kept, as unpack keeps the files it finds. With
    // --lzh the executable is deleted once archived: a file there would be
    // lost all the same.
    if (const QFileInfo out(request.executable);
        !args.has(overwrite) && (out.exists() || out.isSymLink())) {
        report.failure(
            request.executable,
            say("同じ名前のファイルがあります。置き換えるには --overwrite を指定してください。",
                "exists; give --overwrite to replace it"));
        return kExitRefused;
    }

    Session session;
    if (!session.libraries().rivo().symbol(contracts::kRivo))
        return session.missingLibrary(report, "rivo");
    // Without an archiver the executable would have to stay: say so before
    // anything is written.
    const bool archiver = request.archive && session.hasArchiver();
    if (request.archive && !archiver) return session.missingLibrary(report, "unlha32");

    SecretSource source;
    if (args.has(fromStdin)) {
        source.kind = SecretSource::Kind::Stdin;
    } else if (const auto file = args.value(fromFile)) {
        source = {SecretSource::Kind::File, *file};
    }
    QString error;
    const std::optional<Secret> password =
        obtainSecret(source, say("パスワード: ", "Password: "),
                     say("パスワード（確認）: ", "Password again: "), true, &error);
    if (!password) {
        report.error(error);
        return kExitRefused;
    }
    request.password = password->bytes();

    report.note(say("暗号化中: %1 → %2", "packaging %1 into %2")
                    .arg(shownName(request.target), shownName(request.executable)));
    PackageJob job(session.libraries(), nullptr);
    // An interrupt stops the run as the window's 中止 does; the program then
    // ends by that signal, once it has said what the run came to.
    JobControl control([&report, &request](qint64 done, qint64 total) {
        report.progressShare(done, total, request.target);
    });
    const Interruption interruption(control);
    const PackageJob::Outcome outcome = job.run(request, archiver, &control);
    if (outcome.status == PackageJob::Status::Cancelled) {
        report.failure(
            outcome.kept.isEmpty() ? request.executable : outcome.path,
            outcome.kept.isEmpty()
                ? say("中止しました。何も書き込んでいません", "cancelled; nothing was written")
                : say("中止しました。書庫は元のままです", "cancelled; the archive is as it was"));
        if (!outcome.kept.isEmpty())
            report.note(say("暗号化したファイルは残っています: %1", "the package stays: %1")
                            .arg(shownName(outcome.kept)));
        report.summary(0, 0, 1);
        interruption.endByIt();
        return kExitFailed;
    }
    if (outcome.status == PackageJob::Status::Refused) {
        report.error(outcome.reason);
        return kExitRefused;
    }
    if (!outcome.ok()) {
        report.failure(outcome.path, outcome.reason);
        report.summary(0, 1, 0);
        return kExitFailed;
    }
    report.summary(1, 0, 0);
    return kExitOk;
}

}  // namespace dozo::cli
