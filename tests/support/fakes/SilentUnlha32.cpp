// An archiver that answers every command with success and does nothing: what
// a caller must not take at its word.
#include "FakeVersion.h"

extern "C" __attribute__((visibility("default"))) int UnlhaGetVersion(void) {
    return fakeVersion("DOZO_FAKE_UNLHA_VERSION", 255);
}

extern "C" __attribute__((visibility("default"))) int Unlha(void*, const char*, char* output,
                                                            unsigned long outputSize) {
    if (output && outputSize > 0) output[0] = '\0';
    return 0;
}
