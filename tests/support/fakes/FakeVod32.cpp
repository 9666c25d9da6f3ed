#include "FakeVersion.h"

extern "C" __attribute__((visibility("default"))) int VovGetVersion(void) {
    return fakeVersion("DOZO_FAKE_VOV_VERSION", 101);
}
