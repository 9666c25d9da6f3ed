#include "cli/Commands.h"

#include "core/text/Language.h"

#include <QDir>
#include <QFileInfo>

namespace dozo::cli {

Arguments::Arguments(const QStringList& words, const QStringList& valued) {
    bool optionsEnded = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (optionsEnded || word == QLatin1String("-") || !word.startsWith(QLatin1Char('-'))) {
            m_operands.append(word);
            continue;
        }
        if (word == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        if (word.startsWith(QLatin1String("--")) && eq > 0) {
            m_values.append({word.left(eq), word.mid(eq + 1)});
            continue;
        }
        if (valued.contains(word)) {
            if (i + 1 >= words.size()) {
                m_missing = word;
                continue;
            }
            m_values.append({word, words[++i]});
            continue;
        }
        m_flags.append(word);
    }
}

std::optional<QString> Arguments::value(const QString& option) const {
    std::optional<QString> found;
    for (const auto& [name, value] : m_values) {
        if (name == option) found = value;
    }
    return found;
}

QString Arguments::misuse(const QStringList& known) const {
    for (const QString& flag : m_flags) {
        if (!known.contains(flag))
            return say("不明なオプション: %1", "unknown option: %1").arg(flag);
    }
    for (const auto& entry : m_values) {
        if (!known.contains(entry.first))
            return say("不明なオプション: %1", "unknown option: %1").arg(entry.first);
    }
    if (!m_missing.isEmpty())
        return say("%1 に値がありません。", "%1 needs a value").arg(m_missing);
    return QString();
}

QString absolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

int usageError(Report& report, const QString& text) {
    report.error(text +
                 say("\n詳しくは dozo-cli --help を参照してください。", "\nSee dozo-cli --help."));
    return kExitRefused;
}

}  // namespace dozo::cli
