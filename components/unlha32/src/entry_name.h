#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace unlha32 {

// Splits a stored name into the path components it is extracted under. Both '/'
// and '\' separate (archives from DOS-family systems use '\'); empty and "."
// components are dropped. False with a reason for a name that could lead
// outside the destination: absolute, UNC-like ("//host", "\\host"), with a drive
// letter ("C:") or a ".." component, or empty.
bool splitEntryName(std::string_view name, std::vector<std::string>& parts, std::string& reason);

// Whether a name stands for the top of the archive itself ("./", "."): a
// folder entry so named is the destination, nothing to make or refuse.
bool namesTheTop(std::string_view name);

// The path a stored name is extracted under, its components joined by '/'
// ("sub\f.txt" and "./sub//f.txt" are both "sub/f.txt"); false, with joined
// left as it was, for a name splitEntryName() refuses.
bool extractedName(std::string_view name, std::string& joined);

}  // namespace unlha32
