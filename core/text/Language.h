#pragma once

#include <QString>

namespace dozo {

// The language of every message the jobs word. dozo-cli follows the locale
// (LC_ALL, else LC_MESSAGES, else LANG: Japanese when it starts with "ja");
// the window's interface is Japanese throughout and fixes it at start.
enum class Language { Japanese, English };

Language language();
void useLanguage(Language language);

inline bool japanese() {
    return language() == Language::Japanese;
}

// The text for the current language.
inline QString say(const char* ja, const char* en) {
    return japanese() ? QString::fromUtf8(ja) : QString::fromUtf8(en);
}

}  // namespace dozo
