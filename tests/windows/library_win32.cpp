// The test support's Library for Windows: the shared tests name a library as
// on Linux ("libRozu32.so"), and Windows loads the same library by its own
// name ("Rozu32.dll") through the normal search, the program's folder first,
// as a Windows program of a user would.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "loaded_library.h"

namespace dozo::test {

Library::Library(const std::string& fileName) {
    std::string name = fileName;
    if (name.rfind("lib", 0) == 0) name.erase(0, 3);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
        name.erase(name.size() - 3);
    path_ = name + ".dll";
    handle_ = ::LoadLibraryA(path_.c_str());
    if (handle_ == nullptr)
        throw std::runtime_error("cannot load " + path_ + ", error " +
                                 std::to_string(::GetLastError()));
}

Library::~Library() {
    if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* Library::symbol(const char* name) const {
    auto* p = reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
    if (p == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    return p;
}

}  // namespace dozo::test
