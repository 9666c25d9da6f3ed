#pragma once

#include <string>
#include <string_view>

namespace dozo::fileio {

// A name from an archive, a package or the file system made safe to show on a
// terminal: control characters (C0, DEL and C1, escape among them), the
// format characters (Unicode category Cf: the bidirectional controls, the
// zero-width characters, U+FEFF and the like), the line and paragraph
// separators and bytes that are not UTF-8 become \xNN (each byte of the
// character), and a backslash becomes \\, so a hostile name can neither drive
// the terminal, split a line, reorder or hide what is shown, nor pass itself
// off as an escaped form of another name.
std::string printable(std::string_view name);

// Whether every byte of a name belongs to a well-formed UTF-8 character, the
// test printable() uses to decide what it escapes.
bool isUtf8(std::string_view name);

// The name printable() showed as `shown`, byte for byte: what a listing's
// line stands for, to be found on disk.
std::string fromPrintable(std::string_view shown);

// The name a file is given on disk for a stored name that is not UTF-8: each
// byte that is not part of a UTF-8 character becomes "%XX", so the user can
// match it with printable()'s "\xXX".
std::string diskName(std::string_view name);

}  // namespace dozo::fileio
