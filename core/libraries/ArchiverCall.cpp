#include "core/libraries/ArchiverCall.h"

#include "core/libraries/ArchiveCommands.h"
#include "core/text/Language.h"
#include "core/text/Reasons.h"

#include <dozo/contracts/unlha32.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>

namespace dozo {

namespace {

// Long enough for a reason naming two full paths; the archiver cuts the rest.
constexpr unsigned long kOutputSize = 2048;

// When the first buffer is too small the archiver says how much it needs,
// and a second call (a second walk of the archive) gets exactly that, up to a
// size no archive of ours needs.
constexpr qint64 kFirstListingSize = 64 * 1024;
constexpr unsigned long kLargestListingSize = 1024UL * 1024 * 1024;

// The method, which the listing repeats from one line to the next, is made
// into a QString once for each run of it and shared, not decoded for each
// entry.
class RepeatedField {
public:
    const QString& operator()(QByteArrayView bytes) {
        if (!m_known || bytes != QByteArrayView(m_bytes)) {
            m_bytes = bytes.toByteArray();
            m_text = QString::fromLatin1(bytes);
            m_known = true;
        }
        return m_text;
    }

private:
    bool m_known = false;
    QByteArray m_bytes;
    QString m_text;
};

// size TAB packed TAB method TAB crc TAB date TAB name, one line an entry.
// Read in place: a listing can run to a million lines, and splitting each
// into parts of its own would cost more than the archiver's walk.
std::optional<ArchiverCall::Entry> parseEntry(QByteArrayView line, RepeatedField& method) {
    // A name holding a tab keeps it: only the first five tabs separate.
    std::array<QByteArrayView, 5> fields;
    qsizetype start = 0;
    for (QByteArrayView& field : fields) {
        const qsizetype tab = line.indexOf('\t', start);
        if (tab < 0) return std::nullopt;
        field = line.sliced(start, tab - start);
        start = tab + 1;
    }
    ArchiverCall::Entry entry;
    bool sizeOk = false;
    bool packedOk = false;
    bool crcOk = false;
    entry.size = fields[0].toLongLong(&sizeOk);
    entry.packed = fields[1].toLongLong(&packedOk);
    entry.crc = fields[3].toUShort(&crcOk, 16);
    if (!sizeOk || !packedOk || !crcOk) return std::nullopt;
    entry.method = method(fields[2]);
    entry.modifiedText = QString::fromLatin1(fields[4]);
    const QByteArrayView name = line.sliced(start);
    entry.name = QFile::decodeName(QByteArray::fromRawData(name.data(), name.size()));
    return entry;
}

// A listing takes at most four bytes for each byte of the archive (no
// header is shorter than a quarter of its line, even with the name escaped),
// so one call almost always does. Only what the archiver writes of the
// buffer is ever touched; the bound keeps the reservation modest.
qsizetype firstListingSize(const QString& archive) {
    constexpr qint64 kLargestFirst = 64 * 1024 * 1024;
    const qint64 archiveSize = std::max<qint64>(QFileInfo(archive).size(), 0);
    return static_cast<qsizetype>(std::min(4 * archiveSize + kFirstListingSize, kLargestFirst));
}

// The archiver words its reasons in Japanese and names the entry; in
// English the table's reason stands alone, since the failure line names the
// archive anyway.
QString reasonFrom(const char* output, int code) {
    const QString reason = QFile::decodeName(output).trimmed();
    return reason.isEmpty() || !japanese() ? Reasons::archiver(code) : reason;
}

// The archiver never prints: a run that succeeded hands back what it left
// out as "警告: " lines in the output buffer.
QStringList warningsFrom(const char* output) {
    static const QString prefix = QStringLiteral("警告: ");
    QStringList warnings;
    for (const QString& line : QFile::decodeName(output).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            warnings.append(Reasons::archiverWarning(line.mid(prefix.size())));
    }
    return warnings;
}

}  // namespace

QDateTime ArchiverCall::Entry::modified() const {
    return QDateTime::fromString(modifiedText, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

ArchiverCall::Outcome ArchiverCall::run(void* owner, const QByteArray& commandLine,
                                        const Follow& follow) {
    auto* unlha = m_library.function<UnlhaFn>(contracts::kUnlha);
    if (!unlha) return {kUnavailable, Reasons::archiver(kUnavailable)};
    // An archiver without progress still does the work, unfollowed.
    auto* setProgress =
        follow ? m_library.function<UnlhaSetProgressFn>(contracts::kUnlhaSetProgress, false)
               : nullptr;
    UnlhaProgressCallback* const callback = [](void* context, long long entries,
                                               long long entriesTotal, long long bytes,
                                               long long bytesTotal) -> int {
        const auto& f = *static_cast<const Follow*>(context);
        return f({entries, entriesTotal, bytes, bytesTotal}) ? 0 : 1;
    };
    if (setProgress) setProgress(callback, const_cast<Follow*>(&follow));
    std::array<char, kOutputSize> output{};
    const int code = unlha(owner, commandLine.constData(), output.data(), kOutputSize);
    // The registration is this thread's: the next call on it must not reach
    // a Follow that is gone.
    if (setProgress) setProgress(nullptr, nullptr);
    output.back() = '\0';
    if (code == 0) return {0, {}, warningsFrom(output.data())};
    return {code, reasonFrom(output.data(), code)};
}

ArchiverCall::Listing ArchiverCall::list(void* owner, const QString& archive) {
    auto* unlha = m_library.function<UnlhaFn>(contracts::kUnlha);
    if (!unlha) return {{kUnavailable, Reasons::archiver(kUnavailable)}, {}};
    const QByteArray command = ArchiveCommands::listCommand(archive);
    QByteArray output(firstListingSize(archive), Qt::Uninitialized);
    int code =
        unlha(owner, command.constData(), output.data(), static_cast<unsigned long>(output.size()));
    output.back() = '\0';
    if (code == contracts::unlha::kOutput) {
        const unsigned long needed = contracts::unlhaNeededSize(output.constData());
        if (needed > 0 && needed <= kLargestListingSize) {
            output.fill('\0', static_cast<qsizetype>(needed));
            code = unlha(owner, command.constData(), output.data(), needed);
            output.back() = '\0';
        }
    }
    if (code != 0) return {{code, reasonFrom(output.constData(), code)}, {}};

    Listing listing;
    const QByteArrayView text(output.constData());
    listing.entries.reserve(text.count('\n') + 1);
    RepeatedField method;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) end = text.size();
        const QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.isEmpty()) continue;
        std::optional<Entry> entry = parseEntry(line, method);
        // A line we cannot read makes the whole listing untrustworthy.
        if (!entry)
            return {{contracts::unlha::kInternal, Reasons::archiver(contracts::unlha::kInternal)},
                    {}};
        listing.entries.append(std::move(*entry));
    }
    return listing;
}

}  // namespace dozo
