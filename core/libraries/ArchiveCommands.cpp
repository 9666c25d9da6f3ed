#include "core/libraries/ArchiveCommands.h"

#include <dozo/contracts/list_file.h>
#include <dozo/contracts/unlha32.h>
#include <QFile>

namespace dozo {

namespace {

QByteArray quoted(const QString& path) {
    return '"' + QFile::encodeName(path) + '"';
}

}  // namespace

QByteArray ArchiveCommands::listText(const QStringList& entries) {
    QByteArray text;
    for (const QString& entry : entries) {
        const QByteArray name = QFile::encodeName(entry);
        const std::optional<std::string> line = contracts::listFileName(
            std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
        // isListable() refused such a name before anything was written.
        Q_ASSERT(line);
        if (!line) continue;
        text += QByteArray(line->data(), static_cast<qsizetype>(line->size())) + "\r\n";
    }
    return text;
}

QByteArray ArchiveCommands::packListCommand(const QString& archive, const QString& listFile,
                                            const char* switches) {
    return contracts::kUnlhaPackListPrefix + QByteArray(switches) + quoted(archive) + ' ' +
           quoted(QLatin1Char('@') + listFile);
}

QByteArray ArchiveCommands::extractCommand(const QString& archive, const QString& destination,
                                           const char* switches) {
    return contracts::kUnlhaExtractPrefix + QByteArray(switches) + quoted(archive) + ' ' +
           quoted(destination);
}

QByteArray ArchiveCommands::packFileCommand(const QString& archive, const QString& file) {
    return contracts::kUnlhaPackFilePrefix + quoted(archive) + ' ' + quoted(file);
}

QByteArray ArchiveCommands::listCommand(const QString& archive) {
    return contracts::kUnlhaListPrefix + quoted(archive);
}

QByteArray ArchiveCommands::testCommand(const QString& archive) {
    return contracts::kUnlhaTestPrefix + quoted(archive);
}

bool ArchiveCommands::isQuotable(const QString& path) {
    return !path.contains(QLatin1Char('"'));
}

std::optional<QString> ArchiveCommands::unlistable(const QStringList& entries) {
    for (const QString& entry : entries) {
        const QByteArray name = QFile::encodeName(entry);
        if (!contracts::listFileName(
                std::string_view(name.constData(), static_cast<std::size_t>(name.size()))))
            return entry;
    }
    return std::nullopt;
}

QString ArchiveCommands::unpackFolderName(const QString& title) {
    const qsizetype dot = title.indexOf(QLatin1Char('.'));
    // A title starting with "." would give no name at all and unpack straight
    // into the chosen folder.
    if (dot <= 0) return title;
    return title.left(dot);
}

QString ArchiveCommands::unpackDestination(const QString& chosenFolder, const QString& folderName) {
    return chosenFolder + QLatin1Char('/') + folderName + QLatin1Char('/');
}

}  // namespace dozo
