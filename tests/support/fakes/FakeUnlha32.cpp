#include "FakeVersion.h"

extern "C" __attribute__((visibility("default"))) int UnlhaGetVersion(void) {
    return fakeVersion("DOZO_FAKE_UNLHA_VERSION", 255);
}
