#pragma once

#include <QString>

namespace dozo::cli {

// Japanese when the locale that decides messages (LC_ALL, else LC_MESSAGES,
// else LANG) starts with "ja"; English otherwise. Read once.
bool japanese();

// The text for the user's language.
inline QString say(const char* ja, const char* en) {
    return japanese() ? QString::fromUtf8(ja) : QString::fromUtf8(en);
}

// A file name as it may be printed on a terminal: control characters (C0,
// DEL, C1) and backslashes written as escapes, so a crafted name can neither
// move the cursor nor fake a line of output.
QString shownName(const QString& path);

}  // namespace dozo::cli
