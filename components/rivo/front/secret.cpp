#include "secret.h"

#include <sodium.h>

namespace dozo::rivo {

// sodium_malloc locks the pages where the system allows it and keeps them out
// of core dumps; a limit on locked memory only costs that protection.
Password::Password() {
    if (sodium_init() >= 0) bytes = static_cast<char*>(sodium_malloc(RIVO_PASSWORD_MAX + 1));
}

Password::~Password() {
    // Wipes before it unmaps.
    if (bytes != nullptr) sodium_free(bytes);
}

}  // namespace dozo::rivo
