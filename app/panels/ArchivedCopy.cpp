#include "ArchivedCopy.h"

#include "Crc16.h"

#include <QFileInfo>

namespace dozo {

namespace {

QString bracketed(const QString& text) {
    return QStringLiteral("【") + text + QStringLiteral("】");
}

QString kept(const QString& name) {
    return QStringLiteral("（") + bracketed(name) + QStringLiteral("は削除していません）");
}

}  // namespace

ArchivedCopy::Result ArchivedCopy::check(ArchiverCall& archiver, void* owner,
                                         const QString& archive, const QString& file) {
    const QFileInfo info(file);
    const QString name = info.fileName();
    const std::optional<FileCheck> onDisk = crc16ArcOfFile(file);
    if (!onDisk) {
        return {Verdict::FileUnreadable,
                bracketed(file) + QStringLiteral("を読み込めないため、書庫と照合できません。")};
    }
    const ArchiverCall::Listing listing = archiver.list(owner, archive);
    if (listing.outcome.failed()) {
        return {Verdict::Unlisted, QStringLiteral("書庫の内容を確認できません：") +
                                       listing.outcome.reason + kept(name)};
    }
    for (const ArchiverCall::Entry& entry : listing.entries) {
        if (entry.name != name) continue;
        if (entry.size == onDisk->size && entry.crc == onDisk->crc) return {};
        // LHA keeps times to the second (level 0 and 1 to two seconds).
        const QDateTime written = info.lastModified().addSecs(-2);
        if (entry.modified.isValid() && entry.modified >= written) {
            return {Verdict::NewerEntryKept,
                    QStringLiteral(
                        "書庫に同じ名前の新しいファイルが既にあるため、格納されませんでした") +
                        kept(name)};
        }
        return {
            Verdict::EntryDiffers,
            QStringLiteral("書庫に格納された内容が作成したファイルと一致しません") + kept(name)};
    }
    return {Verdict::NotStored, QStringLiteral("書庫に何も格納されませんでした") + kept(name)};
}

}  // namespace dozo
