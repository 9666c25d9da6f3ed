#pragma once

#include <string>
#include <string_view>

namespace dozo::rivo {

// Windows speaks UTF-16; the package's names and texts are UTF-8.
std::wstring wide(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// A path (or name) made safe to show, as shown() makes a name: each part
// escaped, the backslashes between them kept as they are.
std::string shownPath(const std::wstring& path);

}  // namespace dozo::rivo
