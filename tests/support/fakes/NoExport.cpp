// A library that loads but exports none of the version queries.
extern "C" __attribute__((visibility("default"))) int SomethingElse(void) {
    return 1;
}
