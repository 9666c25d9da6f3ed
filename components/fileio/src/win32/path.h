#pragma once

#include <string>

namespace dozo::fileio::win32 {

// Paths arrive as bytes in the system's ANSI code page, where the second byte
// of a double-byte character may be 0x5C, the backslash. They are widened
// before anything looks at their separators, and handed to the W functions.
// False for a null, empty or malformed path: a byte sequence the code page
// does not define would otherwise be replaced by '?' and could name another
// file.
bool widen(const char* path, std::wstring& wide);

// The folder part of a path (with its trailing separator, empty for a bare
// name) and the name after it.
std::wstring folderOf(const std::wstring& path);
std::wstring nameOf(const std::wstring& path);

}  // namespace dozo::fileio::win32
