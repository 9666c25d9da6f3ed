#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "dozo/fileio/io.h"
#include "dozo/fileio/loadable.h"
#include "settings/config_dialog.h"
#include "unlha32.h"

namespace unlha32 {
namespace {

// Its address tells dladdr which file this code was loaded from.
const char anchor = 0;

// The folder of the file libunlha32 was loaded from, absolute; empty when
// unknown. A link to the library leads to the folder of the library itself,
// where the dialog library is installed beside it.
std::string ownFolder() {
    Dl_info info{};
    if (::dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return {};
    std::string path = info.dli_fname;
    if (char resolved[PATH_MAX]; ::realpath(info.dli_fname, resolved) != nullptr) path = resolved;
    if (path.empty() || path[0] != '/') return {};
    return path.substr(0, path.rfind('/'));
}

}  // namespace

int showConfigDialog() {
    const std::string folder = ownFolder();
    if (folder.empty()) return UNLHA_ERROR_NO_DIALOG;
    // By full path only: a bare name would let the search path choose the code
    // that runs. Never unloaded, since Qt keeps pointers into it. One cut
    // short would kill the caller once mapped.
    const std::string path = folder + "/" + kDialogLibrary;
    const dozo::fileio::Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::uint64_t size = 0;
    if (dozo::fileio::cutShortAt(file.get(), size) != 0) return UNLHA_ERROR_NO_DIALOG;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return UNLHA_ERROR_NO_DIALOG;
    auto* entry = reinterpret_cast<DialogEntry*>(::dlsym(handle, kDialogEntry));
    if (entry == nullptr) return UNLHA_ERROR_NO_DIALOG;
    return entry();
}

}  // namespace unlha32
