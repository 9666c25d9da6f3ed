#include "handle.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>

namespace dozo::fileio::win32 {

int adopt(HANDLE handle, int flags) {
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) ::CloseHandle(handle);
    return fd;
}

HANDLE handleOf(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

void release(int& fd) {
    if (fd >= 0) ::_close(fd);  // closes the handle too
    fd = -1;
}

}  // namespace dozo::fileio::win32
