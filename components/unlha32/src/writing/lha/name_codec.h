#pragma once

// The archiver's name for the one UTF-8 to code page 932 encoder
// (components/textcodec).
#include "dozo/textcodec/cp932.h"

namespace unlha {
using dozo::textcodec::toCp932;
}  // namespace unlha
