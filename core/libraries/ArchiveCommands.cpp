#include "core/libraries/ArchiveCommands.h"

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
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString& entry = entries.at(i);
        text += entry.contains(QLatin1Char(' ')) ? quoted(entry) : QFile::encodeName(entry);
        if (i != entries.size() - 1) text += ' ';
    }
    return text + "\r\n";
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

bool ArchiveCommands::isListable(const QStringList& entries) {
    for (const QString& entry : entries) {
        // An unquoted entry may hold a quote anywhere but at its start; a
        // quoted one may hold none.
        if (entry.contains(QLatin1Char(' ')) ? !isQuotable(entry)
                                             : entry.startsWith(QLatin1Char('"'))) {
            return false;
        }
    }
    return true;
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
