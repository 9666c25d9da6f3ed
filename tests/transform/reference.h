#pragma once

#include <string>
#include <vector>

#include "files.h"
#include "loaded_library.h"
#include "rozu32.h"

namespace dozo::test {

using Method = decltype(FileEncryptionA);

struct NamedMethod {
    const char* name;
    Method* call;
    // The bytes the method leaves, computed pass by pass, one byte at a time.
    Bytes (*reference)(const Bytes& source);
};

// The library under test, loaded once for the whole run.
const Library& rozu32();
// The seven methods in panel order.
const std::vector<NamedMethod>& methods();
const NamedMethod& method(const std::string& name);

}  // namespace dozo::test
