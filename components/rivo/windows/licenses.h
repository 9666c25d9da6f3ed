#pragma once

#include <string>

namespace dozo::rivo {

// The notices of the libraries linked statically into this program
// (--licenses and the About box), kept as a resource: the same text, made at
// build time from licenses.txt.in, goes into Dozo's own notices.
std::string licenses();

}  // namespace dozo::rivo
