#pragma once

#include <string>
#include <string_view>

namespace dozo::fileio {

// A name from an archive, a package or the file system made safe to show on a
// terminal: control characters (C0, DEL and C1, escape among them) and bytes
// that are not UTF-8 become \xNN, so a hostile name can neither drive the
// terminal nor split a line.
std::string printable(std::string_view name);

}  // namespace dozo::fileio
