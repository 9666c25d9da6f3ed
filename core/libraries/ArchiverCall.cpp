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

// The parts of a failure, as the archiver tells them on the calling thread.
struct Told {
    bool told = false;
    int cause = 0;
    QByteArray name;
    int systemError = 0;
};

// Hears of a failure while it lives, from an archiver that tells its parts.
class FailureReport {
public:
    explicit FailureReport(Library& library)
        : m_set(
              library.function<UnlhaSetFailureReportFn>(contracts::kUnlhaSetFailureReport, false)) {
        if (m_set) m_set(&FailureReport::heard, &m_told);
    }
    // The registration is this thread's: the next call on it must not reach
    // a report that is gone.
    ~FailureReport() {
        if (m_set) m_set(nullptr, nullptr);
    }
    FailureReport(const FailureReport&) = delete;
    FailureReport& operator=(const FailureReport&) = delete;

    // The outcome of a failed call: worded from the parts when they came,
    // else from the code (the archiver's own reason in Japanese, which names
    // the entry; in English the table's, since the line names the archive).
    ArchiverCall::Outcome failure(int code, const char* output, const QString& archive) const {
        if (m_told.told) {
            const Reasons::ArchiverLine line = Reasons::archiverFailure(
                archive, code, m_told.cause, QFile::decodeName(m_told.name), m_told.systemError);
            ArchiverCall::Outcome outcome{code, line.reason};
            // The archive is the caller's to name.
            if (line.path != archive) outcome.path = line.path;
            outcome.cause = m_told.cause;
            outcome.systemError = m_told.systemError;
            return outcome;
        }
        const QString reason = QFile::decodeName(output).trimmed();
        return {code, reason.isEmpty() || !japanese() ? Reasons::archiver(code) : reason};
    }

private:
    static void heard(void* context, int, int cause, const char* name, int systemError) {
        auto* told = static_cast<Told*>(context);
        *told = {true, cause, QByteArray(name ? name : ""), systemError};
    }

    UnlhaSetFailureReportFn* m_set;
    Told m_told;
};

// The archiver cannot be reached: the library says why.
QString unavailable(const Library& library) {
    const QString why = library.errorText();
    const QString reason = Reasons::archiver(ArchiverCall::kUnavailable);
    return why.isEmpty() ? reason : reason + QLatin1Char(' ') + why;
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
                                        const Follow& follow, const QString& archive) {
    auto* unlha = m_library.function<UnlhaFn>(contracts::kUnlha);
    if (!unlha) return {kUnavailable, unavailable(m_library)};
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
    const FailureReport report(m_library);
    const int code = unlha(owner, commandLine.constData(), output.data(), kOutputSize);
    // The registration is this thread's: the next call on it must not reach
    // a Follow that is gone.
    if (setProgress) setProgress(nullptr, nullptr);
    output.back() = '\0';
    if (code == 0) return {0, {}, warningsFrom(output.data())};
    return report.failure(code, output.data(), archive);
}

ArchiverCall::Listing ArchiverCall::list(void* owner, const QString& archive) {
    auto* unlha = m_library.function<UnlhaFn>(contracts::kUnlha);
    if (!unlha) return {{kUnavailable, unavailable(m_library)}, {}};
    const QByteArray command = ArchiveCommands::listCommand(archive);
    const FailureReport report(m_library);
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
    if (code != 0) return {report.failure(code, output.constData(), archive), {}};

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
