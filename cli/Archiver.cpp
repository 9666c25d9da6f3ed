#include "Archiver.h"

#include <dozo/contracts/unlha32.h>

#include <QDir>
#include <QFile>
#include <vector>

namespace dozo::cli {

namespace {

constexpr unsigned long kFirstBuffer = 256 * 1024;
constexpr unsigned long kLargestBuffer = 1024ul * 1024 * 1024;

QByteArray quoted(const QString& path) {
    return '"' + QFile::encodeName(path) + '"';
}

QString userSettingsFile() {
    // Where the archiver reads its settings: XDG_CONFIG_HOME when absolute,
    // else ~/.config.
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!home.startsWith(QLatin1Char('/'))) home = QDir::homePath() + QStringLiteral("/.config");
    return home + QStringLiteral("/dozo/unlha32.conf");
}

}  // namespace

std::optional<QList<ArchiveEntry>> parseListing(const QByteArray& text) {
    QList<ArchiveEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 6) return std::nullopt;
        ArchiveEntry entry;
        bool sizeOk = false;
        bool packedOk = false;
        entry.size = fields[0].toLongLong(&sizeOk);
        entry.packed = fields[1].toLongLong(&packedOk);
        if (!sizeOk || !packedOk) return std::nullopt;
        entry.method = QString::fromLatin1(fields[2]);
        entry.crc = QString::fromLatin1(fields[3]);
        entry.date = QString::fromLatin1(fields[4]);
        // A tab inside a name would have split it: the name is the rest.
        entry.name = QFile::decodeName(fields.mid(5).join('\t'));
        entries.append(entry);
    }
    return entries;
}

std::optional<QList<ArchiveEntry>> listArchive(Library& unlha32, const QString& archive,
                                               ArchiverCall::Outcome* failure) {
    auto* unlha = unlha32.function<UnlhaFn>(contracts::kUnlha);
    if (!unlha) {
        *failure = {ArchiverCall::kUnavailable,
                    ArchiverCall::reasonFor(ArchiverCall::kUnavailable)};
        return std::nullopt;
    }
    const QByteArray command = contracts::kUnlhaListPrefix + quoted(archive);
    for (unsigned long size = kFirstBuffer; size <= kLargestBuffer; size *= 4) {
        std::vector<char> output(size, '\0');
        const int code = unlha(nullptr, command.constData(), output.data(), size);
        output.back() = '\0';
        if (code == contracts::unlha::kOutput) continue;
        if (code != 0) {
            QString reason = QFile::decodeName(output.data()).trimmed();
            if (reason.isEmpty()) reason = ArchiverCall::reasonFor(code);
            *failure = {code, reason};
            return std::nullopt;
        }
        std::optional<QList<ArchiveEntry>> entries = parseListing(QByteArray(output.data()));
        if (!entries)
            *failure = {contracts::unlha::kNotArchive,
                        ArchiverCall::reasonFor(contracts::unlha::kNotArchive)};
        return entries;
    }
    *failure = {contracts::unlha::kOutput, ArchiverCall::reasonFor(contracts::unlha::kOutput)};
    return std::nullopt;
}

ArchiverSettings::ArchiverSettings(const QByteArray& overrides)
    : m_previous(qgetenv("XDG_CONFIG_HOME")),
      m_hadPrevious(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    if (!m_home.isValid()) return;
    QByteArray text;
    QFile user(userSettingsFile());
    if (user.open(QIODevice::ReadOnly)) text = user.readAll();
    // Later lines win, so the user's other settings stay as they are.
    text += "\n" + overrides;
    if (!QDir(m_home.path()).mkpath(QStringLiteral("dozo"))) return;
    QFile copy(m_home.filePath(QStringLiteral("dozo/unlha32.conf")));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(text) != text.size() || !copy.flush())
        return;
    copy.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
    m_ok = true;
}

ArchiverSettings::~ArchiverSettings() {
    if (!m_ok) return;
    if (m_hadPrevious) {
        qputenv("XDG_CONFIG_HOME", m_previous);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace dozo::cli
