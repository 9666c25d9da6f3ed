#include "cli/Report.h"

#include "core/text/Language.h"
#include "core/text/ShownName.h"

#include <QFile>

#include <unistd.h>

#include <cstdio>

namespace dozo::cli {

Report::Report(bool quiet, bool verbose)
    : m_quiet(quiet), m_verbose(verbose), m_terminal(::isatty(STDERR_FILENO) == 1) {}

Report::~Report() {
    endProgress();
}

void Report::writeErr(const QString& text) {
    // Standard output first, so lines on a shared terminal keep their order.
    std::fflush(stdout);
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void Report::result(const QString& line) {
    results(line + QLatin1Char('\n'));
}

void Report::results(const QString& lines) {
    if (lines.isEmpty()) return;
    endProgress();
    const QByteArray bytes = lines.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
}

void Report::note(const QString& line) {
    if (m_quiet) return;
    endProgress();
    writeErr(line + QLatin1Char('\n'));
}

void Report::failure(const QString& path, const QString& reason) {
    endProgress();
    writeErr(QStringLiteral("dozo-cli: %1: %2\n").arg(shownName(path), reason));
}

void Report::error(const QString& text) {
    endProgress();
    writeErr(QStringLiteral("dozo-cli: ") + text + QLatin1Char('\n'));
}

void Report::progress(int done, int total, std::int64_t bytes, const QString& current) {
    if (m_quiet || !m_terminal) return;
    // \r and "erase to end of line" redraw the one line in place.
    writeErr(QStringLiteral("\r\x1b[K[%1/%2] %3  %4")
                 .arg(done)
                 .arg(total)
                 .arg(byteText(bytes), shownName(current)));
    m_drawn = true;
}

void Report::progressShare(std::int64_t done, std::int64_t total, const QString& current) {
    if (m_quiet || !m_terminal || total <= 0) return;
    writeErr(QStringLiteral("\r\x1b[K[%1%] %2").arg(done * 100 / total, 3).arg(shownName(current)));
    m_drawn = true;
}

void Report::endProgress() {
    if (!m_drawn) return;
    m_drawn = false;
    writeErr(QStringLiteral("\r\x1b[K"));
}

void Report::summary(int done, int failed, int skipped) {
    if (m_quiet) return;
    endProgress();
    writeErr(say("完了 %1、失敗 %2、スキップ %3\n", "done %1, failed %2, skipped %3\n")
                 .arg(done)
                 .arg(failed)
                 .arg(skipped));
}

QString byteText(std::int64_t bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    if (unit == 0) return QStringLiteral("%1 B").arg(bytes);
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

}  // namespace dozo::cli
