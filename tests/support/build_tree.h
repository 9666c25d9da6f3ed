#pragma once

#include <string>
#include <string_view>

namespace dozo::test {

// The build tree and the source tree of the test programs: the build tree as
// CTest names it ($DOZO_BUILD_DIR), else the one this program lies in, so a
// test also runs when started by hand; the source tree as that build tree's
// CMakeCache.txt names it. Found at run time rather than compiled in: a path
// compiled in makes every clone's test objects its own, and ccache could not
// give one clone what another compiled.
const std::string& buildTree();
const std::string& sourceTree();

// `relative` (a path as the build passes it, e.g. UNLHA32_CALL) under each.
std::string inBuildTree(std::string_view relative);
std::string inSourceTree(std::string_view relative);

}  // namespace dozo::test
