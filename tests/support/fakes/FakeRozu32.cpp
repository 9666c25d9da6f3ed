#include "FakeVersion.h"

extern "C" __attribute__((visibility("default"))) int RazuGetVersion(void) {
    return fakeVersion("DOZO_FAKE_RAZU_VERSION", 111);
}
