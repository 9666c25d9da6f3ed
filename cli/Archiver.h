#pragma once

#include <ArchiverCall.h>
#include <Library.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace dozo::cli {

// One entry of the archiver's listing.
struct ArchiveEntry {
    qint64 size = 0;
    qint64 packed = 0;
    QString method;  // "-lh5-", "-lhd-" for a folder
    QString crc;
    QString date;  // "YYYY-MM-DD HH:MM:SS", local time
    QString name;  // '/' separators, a folder ends in '/'
    bool isFolder() const { return name.endsWith(QLatin1Char('/')); }
};

// Every entry of `archive` through the archiver's "l" command, or nullopt with
// the archiver's failure in `failure`.
std::optional<QList<ArchiveEntry>> listArchive(Library& unlha32, const QString& archive,
                                               ArchiverCall::Outcome* failure);

// Parses the listing text; nullopt when a line is not in the agreed form.
std::optional<QList<ArchiveEntry>> parseListing(const QByteArray& text);

// The archiver takes its method and its overwrite choice from the user's
// settings file only. For one run with other values this points the
// archiver, in this process alone, at a copy of that file with the values
// changed, and puts everything back when it goes away.
class ArchiverSettings {
public:
    // Lines such as "method=lh7" that take precedence over the user's.
    explicit ArchiverSettings(const QByteArray& overrides);
    ~ArchiverSettings();
    ArchiverSettings(const ArchiverSettings&) = delete;
    ArchiverSettings& operator=(const ArchiverSettings&) = delete;

    bool ok() const { return m_ok; }

private:
    QTemporaryDir m_home;
    QByteArray m_previous;
    bool m_hadPrevious = false;
    bool m_ok = false;
};

}  // namespace dozo::cli
