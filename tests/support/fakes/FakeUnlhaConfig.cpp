// The archiver stand-in for the settings command: besides its version it
// keeps what UnlhaConfigDialog was called with, for the test to read back
// through the same loaded copy.
#include "FakeVersion.h"

#include <cstring>

struct DozoFakeConfigCall {
    int count;
    void* owner;
    bool optionsGiven;
    char options[64];
    int mode;
};

namespace {
DozoFakeConfigCall lastCall;
}

extern "C" __attribute__((visibility("default"))) int UnlhaGetVersion(void) {
    return fakeVersion("DOZO_FAKE_UNLHA_VERSION", 255);
}

extern "C" __attribute__((visibility("default"))) int UnlhaConfigDialog(void* owner, char* options,
                                                                        int mode) {
    ++lastCall.count;
    lastCall.owner = owner;
    lastCall.optionsGiven = options != nullptr;
    lastCall.options[0] = '\0';
    if (options) std::strncat(lastCall.options, options, sizeof lastCall.options - 1);
    lastCall.mode = mode;
    return 0;
}

extern "C" __attribute__((visibility("default"))) const DozoFakeConfigCall* DozoFakeConfigLastCall(
    void) {
    return &lastCall;
}
