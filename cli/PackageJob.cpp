// package: the package tab's two commands, Encrypt and Encrypt and archive.
#include "Commands.h"
#include "Reasons.h"
#include "Secret.h"
#include "Session.h"
#include "Text.h"

#include <ArchiveCommands.h>
#include <ArchivedCopy.h>
#include <ArchiverCall.h>
#include <PackageCall.h>
#include <PackageNames.h>

#include <dozo/contracts/rivo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace dozo::cli {

namespace {

// Why the executable stays, in the user's language; the Japanese is the tab's.
QString copyReason(const ArchivedCopy::Result& copy) {
    if (japanese()) return copy.reason;
    using V = ArchivedCopy::Verdict;
    switch (copy.verdict) {
        case V::NewerEntryKept:
            return QStringLiteral(
                "the archive kept a newer entry of that name; the executable was kept");
        case V::EntryDiffers:
            return QStringLiteral(
                "the archived entry differs from the executable; the executable was kept");
        case V::NotStored:
            return QStringLiteral(
                "the archive does not hold the executable; the executable was kept");
        case V::Unlisted:
            return QStringLiteral("the archive cannot be listed; the executable was kept");
        case V::FileUnreadable:
            return QStringLiteral("the executable cannot be read back; it was kept");
        case V::Held:
            break;
    }
    return QString();
}

int refused(Report& report, const QString& path, const QString& text) {
    report.failure(path, text);
    return kExitRefused;
}

}  // namespace

int runPackage(const Arguments& args, Report& report) {
    const QString fromStdin = QStringLiteral("--password-stdin");
    const QString fromFile = QStringLiteral("--password-file");
    const QString lzh = QStringLiteral("--lzh");
    if (const QString misuse = args.misuse({fromStdin, fromFile, lzh}); !misuse.isEmpty())
        return usageError(report, misuse);
    const qsizetype n = args.operands().size();
    if (n < 1 || n > 2)
        return usageError(report, say("暗号化するファイルを一つ指定してください。",
                                      "give one file to package and optionally OUT.exe"));
    if (args.has(fromStdin) && args.value(fromFile))
        return usageError(report,
                          say("--password-stdin と --password-file は同時に指定できません。",
                              "give at most one of --password-stdin and --password-file"));

    const QString target = absolutePath(args.operands().first());
    const QFileInfo targetInfo(target);
    if (!targetInfo.isFile() || !targetInfo.isReadable()) {
        report.failure(target, say("読み込めるファイルではありません", "not a readable file"));
        report.summary(0, 1, 0);
        return kExitFailed;
    }
    // OUT defaults to the name the tab proposes in its save dialog.
    const QString executable =
        n == 2 ? absolutePath(args.operands().at(1)) : PackageNames::proposedExecutableName(target);
    // The package replaces whatever is at its destination: written over the
    // target, it would take the only plain copy of the file with it.
    if (PackageNames::sameFile(executable, target)) {
        return refused(report, executable,
                       say("暗号化するファイルと同じ名前では保存できません",
                           "is the file to package itself; give another OUT"));
    }
    // The window's names cut the last four characters off; for a short name
    // that cut reaches into the folder, where the dialog would have shown it.
    const auto inFolderOf = [](const QString& derived, const QString& from) {
        return QFileInfo(derived).absolutePath() == QFileInfo(from).absolutePath() &&
               !QFileInfo(derived).fileName().isEmpty();
    };
    if (n != 2 && !inFolderOf(executable, target)) {
        return usageError(
            report, say("このファイル名からは出力名を決められません。出力.exe を指定してください。",
                        "no output name can be made from this file name; give OUT"));
    }
    const bool archive = args.has(lzh);
    const QString archiveName = PackageNames::archiveName(executable);
    if (archive && !inFolderOf(archiveName, executable)) {
        return usageError(
            report,
            say("この出力名からは書庫名を決められません。.exe で終わる名前を指定してください。",
                "no archive name can be made from OUT; give a name ending in .exe"));
    }
    if (archive) {
        if (PackageNames::sameFile(archiveName, executable) ||
            PackageNames::sameFile(archiveName, target)) {
            return refused(report, archiveName,
                           say("ここには書庫を作成できません", "cannot be the archive's name"));
        }
        if (!ArchiveCommands::isQuotable(archiveName) || !ArchiveCommands::isQuotable(executable))
            return quoteRefused(report);
    }

    Session session;
    if (!session.libraries().rivo().symbol(contracts::kRivo))
        return session.missingLibrary(report, "rivo");
    // Without an archiver the executable would have to stay: say so before
    // anything is written.
    if (archive && !session.hasArchiver()) return session.missingLibrary(report, "unlha32");

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
    const QString passwordText = QString::fromUtf8(password->bytes);
    if (passwordText.isEmpty() || passwordText.size() > PackageCall::kPasswordMaxLength ||
        passwordText.contains(QLatin1Char('\r')) || passwordText.contains(QChar(u'\0'))) {
        report.error(say("パスワードは改行を含まない1～%1文字で指定してください。",
                         "the password must be 1 to %1 characters without line breaks")
                         .arg(PackageCall::kPasswordMaxLength));
        return kExitRefused;
    }

    report.note(say("暗号化中: %1 → %2", "packaging %1 into %2")
                    .arg(shownName(target), shownName(executable)));
    PackageCall call(session.libraries().rivo());
    const int code = call.run(nullptr, target, executable, passwordText);
    if (code != 0) {
        report.failure(executable, packageReason(code));
        report.summary(0, 1, 0);
        return code == contracts::rivo::kPassword ? kExitRefused : kExitFailed;
    }
    if (!archive) {
        report.summary(1, 0, 0);
        return kExitOk;
    }

    ArchiverCall archiver(session.libraries().unlha32());
    const ArchiverCall::Outcome outcome =
        archiver.run(nullptr, ArchiveCommands::packFileCommand(archiveName, executable));
    if (outcome.failed()) {
        // The package stays where it is: it is the only result.
        report.failure(archiveName, archiverReason(outcome));
        report.summary(0, 1, 0);
        return kExitFailed;
    }
    // The executable is the only copy of the package until the archive is
    // known to hold it: the archiver's update keeps a newer entry of the same
    // name and still succeeds.
    const ArchivedCopy::Result copy =
        ArchivedCopy::check(archiver, nullptr, archiveName, executable);
    if (!copy.held()) {
        report.failure(archiveName, copyReason(copy));
        report.summary(0, 1, 0);
        return kExitFailed;
    }
    QFile file(executable);
    if (!file.remove()) {
        report.failure(executable,
                       say("削除できませんでした: ", "cannot be deleted: ") + file.errorString());
        report.summary(0, 1, 0);
        return kExitFailed;
    }
    report.summary(1, 0, 0);
    return kExitOk;
}

}  // namespace dozo::cli
