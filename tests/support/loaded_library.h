#pragma once

#include <set>
#include <string>

namespace dozo::test {

// One of our shared libraries, loaded from the build tree
// ($DOZO_BUILD_DIR/<libdir>/dozo) exactly as the application loads it.
class Library {
public:
    explicit Library(const std::string& fileName);
    // From another folder of the build tree, such as tests/lib, which holds
    // the test builds of our libraries.
    Library(const std::string& fileName, const std::string& folder);
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library();

    const std::string& path() const { return path_; }
    template <class Fn>
    Fn* get(const char* name) const {
        return reinterpret_cast<Fn*>(symbol(name));
    }

private:
    void* symbol(const char* name) const;
    std::string path_;
    void* handle_ = nullptr;
};

// Names of the functions and data a shared object exports (its defined
// dynamic symbols), read from its ELF dynamic symbol table.
std::set<std::string> exportedSymbols(const std::string& path);

}  // namespace dozo::test
