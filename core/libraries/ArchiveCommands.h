#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace dozo {

// The texts the archive and package panels hand to the archiver: the list
// file and the three command lines, and the names derived for an unpack.
// Paths go to the archiver in the file system's own encoding.
class ArchiveCommands {
public:
    // One entry a line, each as the archiver's list format writes it
    // (contracts/list_file.h: quoted when it holds a blank or a quote), lines
    // ending in CR LF. Every entry must be listable.
    static QByteArray listText(const QStringList& entries);

    // u -a1 -r2 [switches]"archive" "@listFile"
    static QByteArray packListCommand(const QString& archive, const QString& listFile,
                                      const char* switches = "");
    // x -a1 [switches]"archive" "destination"
    static QByteArray extractCommand(const QString& archive, const QString& destination,
                                     const char* switches = "");
    // u -a1 "archive" "file"
    static QByteArray packFileCommand(const QString& archive, const QString& file);
    // l -a1 "archive"
    static QByteArray listCommand(const QString& archive);
    // t -a1 "archive"
    static QByteArray testCommand(const QString& archive);

    // The archiver's command lines have no escape for a double quote, so a
    // path holding one cannot be passed whole.
    static bool isQuotable(const QString& path);
    // The first entry the list file cannot carry (empty, or holding a line
    // break or NUL); nothing when every one can be listed.
    static std::optional<QString> unlistable(const QStringList& entries);

    // The title cut before its first "."; the whole title when it has no "."
    // before some other character, so there is always a folder to create.
    static QString unpackFolderName(const QString& title);
    // prefix "/" name "/": the archiver reads the trailing "/" as part of the
    // folder.
    static QString unpackDestination(const QString& chosenFolder, const QString& folderName);
};

}  // namespace dozo
