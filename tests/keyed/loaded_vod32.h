#pragma once

#include <string>

#include "files.h"
#include "loaded_library.h"
#include "vod32.h"

namespace dozo::test {

// The library under test, loaded once for the whole run.
struct Vod32 {
    Library library{"libVod32.so"};
    decltype(VovGetVersion)* version = library.get<decltype(VovGetVersion)>("VovGetVersion");
    decltype(VovBCMKC)* encrypt = library.get<decltype(VovBCMKC)>("VovBCMKC");
    decltype(VovBCMKCL)* encryptInPlace = library.get<decltype(VovBCMKCL)>("VovBCMKCL");
};

inline const Vod32& vod32() {
    static const Vod32 loaded;
    return loaded;
}

}  // namespace dozo::test
