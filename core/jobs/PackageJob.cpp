#include "core/jobs/PackageJob.h"

#include "core/jobs/ArchivedCopy.h"
#include "core/jobs/PackageNames.h"
#include "core/libraries/ArchiveCommands.h"
#include "core/libraries/ArchiverCall.h"
#include "core/libraries/PackageCall.h"
#include "core/text/Language.h"
#include "core/text/Reasons.h"

#include <dozo/contracts/rivo.h>
#include <dozo/contracts/unlha32.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <string.h>

#include <algorithm>

namespace dozo {

namespace {

using Status = PackageJob::Status;
using Outcome = PackageJob::Outcome;

Outcome refused(const QString& path, const QString& reason) {
    return {Status::Refused, path, reason, 0};
}

Outcome failed(const QString& path, const QString& reason, int code) {
    return {Status::Failed, path, reason, code};
}

QString bracketed(const QString& path) {
    return QStringLiteral("【") + path + QStringLiteral("】");
}

// The tab takes at most 100 characters; bytes that are not UTF-8 (a password
// file in Shift_JIS) count one each, since they go to the library as given.
// A UTF-16 unit takes at least one byte and at most three, so a password of
// more than three bytes a character is too long either way, and the decoded
// units fit a buffer on the stack, wiped before it goes: the password is not
// copied anywhere that outlives the check.
qsizetype passwordLength(QByteArrayView password) {
    constexpr qsizetype kMostBytes = 3 * PackageCall::kPasswordMaxLength;
    if (password.size() > kMostBytes) return password.size();
    QChar units[kMostBytes];
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const qsizetype length = utf8.appendToBuffer(units, password) - units;
    ::explicit_bzero(units, sizeof units);
    return utf8.hasError() ? password.size() : length;
}

// Tells `control` of a library's bytes done as the share of one kStep
// starting at `from`, and passes its cancel on.
PackageCall::Follow follow(const JobControl* control, qint64 from, qint64 total) {
    if (!control) return {};
    return [control, from, total](qint64 done, qint64 of) {
        if (of > 0) control->report(from + std::min(done, of) * PackageJob::kStep / of, total);
        return !control->cancelled();
    };
}

bool passwordAcceptable(QByteArrayView password) {
    return !password.isEmpty() && passwordLength(password) <= PackageCall::kPasswordMaxLength &&
           !password.contains('\r') && !password.contains('\n') && !password.contains('\0');
}

}  // namespace

PackageJob::Outcome PackageJob::checkTarget(const QString& target) {
    if (target.isEmpty()) {
        return refused(target, say("暗号化するファイルが指定されていません。",
                                   "no file to package was given"));
    }
    const QFileInfo info(target);
    if (!info.isFile() || !info.isReadable()) {
        return refused(target, say("読み込めるファイルではありません。", "not a readable file"));
    }
    return {};
}

PackageJob::Outcome PackageJob::check(const Request& request) {
    if (Outcome target = checkTarget(request.target); !target.ok()) return target;
    // The package replaces whatever is at its destination: written over the
    // target, it would take the only plain copy of the user's file with it.
    if (PackageNames::sameFile(request.executable, request.target)) {
        return refused(request.executable, say("暗号化するファイルと同じ名前では保存できません。",
                                               "is the file to package itself; give another name"));
    }
    if (!request.archive) return {};
    // An archive named like the executable would be packed into itself and
    // then deleted with it; one named like the target would rewrite it.
    const QString archive = PackageNames::archiveName(request.executable);
    if (PackageNames::sameFile(archive, request.executable) ||
        PackageNames::sameFile(archive, request.target)) {
        return refused(
            archive, japanese() ? bracketed(archive) + QStringLiteral("には書庫を作成できません。")
                                : QStringLiteral("cannot be the archive's name"));
    }
    if (!ArchiveCommands::isQuotable(archive) || !ArchiveCommands::isQuotable(request.executable)) {
        return refused(archive, say("「\"」を含むパスは書庫の処理に使えません。",
                                    "a path holding '\"' cannot be passed to the archiver"));
    }
    return {};
}

PackageJob::Outcome PackageJob::run(const Request& request, bool archiverPresent,
                                    const JobControl* control) {
    if (Outcome checked = check(request); !checked.ok()) return checked;
    if (request.archive && !archiverPresent) {
        return refused(PackageNames::archiveName(request.executable),
                       Reasons::archiver(Reasons::kUnavailable));
    }
    if (!passwordAcceptable(request.password)) {
        return refused(request.executable,
                       say("パスワードは改行を含まない1～%1文字で指定してください。",
                           "the password must be 1 to %1 characters without line breaks")
                           .arg(PackageCall::kPasswordMaxLength));
    }
    const qint64 total = request.archive ? 2 * kStep : kStep;
    if (control) control->report(0, total);
    PackageCall call(m_libraries.rivo());
    const int code = call.run(m_owner, request.target, request.executable, request.password,
                              follow(control, 0, total));
    if (code == contracts::rivo::kCancelled)
        return {Status::Cancelled, request.executable, Reasons::package(code), code};
    if (code != 0) {
        const Status status = code == contracts::rivo::kPassword ? Status::Refused : Status::Failed;
        QString reason = Reasons::package(code);
        // The library cannot be reached: it says why.
        if (const QString why = m_libraries.rivo().errorText();
            code == PackageCall::kUnavailable && !why.isEmpty())
            reason += QLatin1Char(' ') + why;
        return {status, request.executable, reason, code};
    }
    if (control) control->report(kStep, total);
    return request.archive ? archive(request, control) : Outcome{};
}

PackageJob::Outcome PackageJob::archive(const Request& request, const JobControl* control) {
    const QString archive = PackageNames::archiveName(request.executable);
    ArchiverCall archiver(m_libraries.unlha32());
    const PackageCall::Follow packing = follow(control, kStep, 2 * kStep);
    const ArchiverCall::Outcome packed = archiver.run(
        m_owner, ArchiveCommands::packFileCommand(archive, request.executable),
        [&packing](const ArchiverCall::Progress& p) { return packing(p.bytes, p.bytesTotal); },
        archive);
    // The package stays where it is: it is the only result.
    if (packed.code == contracts::unlha::kCancelled) {
        Outcome stopped{Status::Cancelled, archive, packed.reason, packed.code};
        stopped.kept = request.executable;
        return stopped;
    }
    if (packed.failed())
        return failed(packed.path.isEmpty() ? archive : packed.path, packed.reason, packed.code);
    // The executable is the only copy of the package until the archive is
    // known to hold it: the archiver's update keeps a newer entry of the same
    // name and still succeeds.
    const ArchivedCopy::Result copy =
        ArchivedCopy::check(archiver, m_owner, archive, request.executable);
    if (!copy.held()) return failed(archive, copy.reason, 0);
    QFile file(request.executable);
    if (!file.remove()) {
        return failed(request.executable,
                      japanese()
                          ? bracketed(request.executable) +
                                QStringLiteral("を削除できませんでした。\r\n") + file.errorString()
                          : QStringLiteral("cannot be deleted: ") + file.errorString(),
                      0);
    }
    if (control) control->report(2 * kStep, 2 * kStep);
    return {};
}

}  // namespace dozo
