#pragma once

#include <windows.h>

namespace dozo::fileio::win32 {

// The public classes keep a C runtime descriptor, as they do on POSIX; the
// Win32 handle behind it is what every call here works with.
int adopt(HANDLE handle, int flags);
HANDLE handleOf(int fd);
void release(int& fd);

}  // namespace dozo::fileio::win32
