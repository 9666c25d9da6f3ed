// A library that cannot be bound: it needs a symbol nothing provides.
extern "C" int dozoTestSymbolThatDoesNotExist(void);

extern "C" __attribute__((visibility("default"))) int RazuGetVersion(void) {
    return dozoTestSymbolThatDoesNotExist();
}
