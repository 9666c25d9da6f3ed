#include "core/jobs/ArchivedCopy.h"

#include "core/text/Language.h"
#include "core/text/ShownName.h"

#include "dozo/textcodec/crc16.h"

#include <QFile>
#include <QFileInfo>

namespace dozo {

namespace {

QString bracketed(const QString& text) {
    return QStringLiteral("【") + text + QStringLiteral("】");
}

// Why the file stays, in the user's language; it is the only copy until the
// archive is known to hold it.
QString kept(const char* ja, const char* en, const QString& name, const QString& detail = {}) {
    if (!japanese()) return QString::fromUtf8(en) + QStringLiteral("; the file was kept");
    return QString::fromUtf8(ja) + detail + QStringLiteral("（") + bracketed(name) +
           QStringLiteral("は削除していません）");
}

}  // namespace

ArchivedCopy::Result ArchivedCopy::check(ArchiverCall& archiver, void* owner,
                                         const QString& archive, const QString& file) {
    const QFileInfo info(file);
    const QString name = info.fileName();
    // The listing shows each name as a terminal may show it, so a name with
    // a control or bidirectional character is compared in that form.
    const QString listed = shownName(name);
    const std::optional<textcodec::FileCheck> onDisk =
        textcodec::crc16OfFile(QFile::encodeName(file).constData());
    if (!onDisk) {
        return {Verdict::FileUnreadable,
                japanese()
                    ? bracketed(file) + QStringLiteral("を読み込めないため、書庫と照合できません。")
                    : QStringLiteral("the file cannot be read back; it was kept")};
    }
    const ArchiverCall::Listing listing = archiver.list(owner, archive);
    if (listing.outcome.failed()) {
        return {Verdict::Unlisted,
                kept("書庫の内容を確認できません：", "the archive cannot be listed", name,
                     listing.outcome.reason)};
    }
    for (const ArchiverCall::Entry& entry : listing.entries) {
        if (entry.name != listed) continue;
        if (entry.size == onDisk->size && entry.crc == onDisk->crc) return {};
        // LHA keeps times to the second (level 0 and 1 to two seconds).
        const QDateTime written = info.lastModified().addSecs(-2);
        if (const QDateTime modified = entry.modified();
            modified.isValid() && modified >= written) {
            return {Verdict::NewerEntryKept,
                    kept("書庫に同じ名前の新しいファイルが既にあるため、格納されませんでした",
                         "the archive kept a newer entry of that name", name)};
        }
        return {Verdict::EntryDiffers, kept("書庫に格納された内容が作成したファイルと一致しません",
                                            "the archived entry differs from the file", name)};
    }
    return {Verdict::NotStored,
            kept("書庫に何も格納されませんでした", "the archive does not hold the file", name)};
}

}  // namespace dozo
