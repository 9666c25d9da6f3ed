#include "Text.h"

#include <cstdlib>

namespace dozo::cli {

bool japanese() {
    static const bool value = [] {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(name);
            if (v != nullptr && *v != '\0') return v[0] == 'j' && v[1] == 'a';
        }
        return false;
    }();
    return value;
}

QString shownName(const QString& path) {
    QString shown;
    shown.reserve(path.size());
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if (u == u'\\') {
            shown += QStringLiteral("\\\\");
        } else if (u == u'\n') {
            shown += QStringLiteral("\\n");
        } else if (u == u'\t') {
            shown += QStringLiteral("\\t");
        } else if (u == u'\r') {
            shown += QStringLiteral("\\r");
        } else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0)) {
            shown += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace dozo::cli
