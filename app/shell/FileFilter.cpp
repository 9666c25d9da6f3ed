#include "app/shell/FileFilter.h"

#include <QStringList>

namespace dozo {

namespace {

QString toQtPatterns(const QString& patterns) {
    QStringList out;
    for (QString p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p == QLatin1String("*.*")) p = QStringLiteral("*");
        if (!p.isEmpty()) out << p;
    }
    return out.isEmpty() ? QStringLiteral("*") : out.join(QLatin1Char(' '));
}

}  // namespace

QString toQtFilter(const QString& pairedFilter) {
    if (pairedFilter.isEmpty()) return {};
    const QStringList parts = pairedFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString text = parts[i];
        const QString patterns = i + 1 < parts.size() ? parts[i + 1] : QString();
        // The pattern list goes last in parentheses, where Qt reads it; the
        // dialog hides that part, so the user sees the text as written.
        filters << QStringLiteral("%1 (%2)").arg(text, toQtPatterns(patterns));
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace dozo
