#include "core/text/Language.h"

#include <atomic>
#include <cstdlib>

namespace dozo {

namespace {

Language fromLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0')
            return v[0] == 'j' && v[1] == 'a' ? Language::Japanese : Language::English;
    }
    return Language::English;
}

// Read once: jobs on worker threads word their reasons too.
std::atomic<Language>& current() {
    static std::atomic<Language> value{fromLocale()};
    return value;
}

}  // namespace

Language language() {
    return current().load(std::memory_order_relaxed);
}

void useLanguage(Language chosen) {
    current().store(chosen, std::memory_order_relaxed);
}

}  // namespace dozo
