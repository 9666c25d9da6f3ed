#pragma once

#include <string>
#include <string_view>

namespace dozo::fileio {

// A name from an archive, a package or the file system made safe to show on a
// terminal: control characters (C0, DEL and C1, escape among them), the
// bidirectional formatting characters and bytes that are not UTF-8 become
// \xNN (each byte of the character), and a backslash becomes \\, so a hostile
// name can neither drive the terminal, split a line, reorder what is shown,
// nor pass itself off as an escaped form of another name.
std::string printable(std::string_view name);

// Whether every byte of a name belongs to a well-formed UTF-8 character, the
// test printable() uses to decide what it escapes.
bool isUtf8(std::string_view name);

}  // namespace dozo::fileio
