#include "licenses.h"

#include <windows.h>

namespace dozo::rivo {

std::string licenses() {
    const HMODULE self = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(self, L"LICENSES", MAKEINTRESOURCEW(10));  // RT_RCDATA
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(self, found) : nullptr;
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return std::string(static_cast<const char*>(bytes), ::SizeofResource(self, found));
}

}  // namespace dozo::rivo
