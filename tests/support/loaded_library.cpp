#include "loaded_library.h"

#include <dlfcn.h>
#include <elf.h>

#include <cstring>
#include <stdexcept>

#include "build_tree.h"
#include "files.h"

namespace dozo::test {

Library::Library(const std::string& fileName) : Library(fileName, DOZO_LIBRARY_SUBDIR) {}

Library::Library(const std::string& fileName, const std::string& folder) {
    path_ = buildTree() + "/" + folder + "/" + fileName;
    handle_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(::dlerror());
}

Library::~Library() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

void* Library::symbol(const char* name) const {
    void* p = ::dlsym(handle_, name);
    if (p == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    return p;
}

std::set<std::string> exportedSymbols(const std::string& path) {
    const Bytes image = readFile(path);
    auto at = [&image](std::uint64_t offset, std::uint64_t size) {
        if (offset > image.size() || size > image.size() - offset)
            throw std::runtime_error("truncated ELF file");
        return image.data() + offset;
    };
    Elf64_Ehdr header;
    std::memcpy(&header, at(0, sizeof header), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        throw std::runtime_error("not a 64-bit ELF file");

    std::set<std::string> names;
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        std::memcpy(&section, at(header.e_shoff + i * sizeof section, sizeof section),
                    sizeof section);
        if (section.sh_type != SHT_DYNSYM) continue;
        Elf64_Shdr strings;
        std::memcpy(&strings, at(header.e_shoff + section.sh_link * sizeof strings, sizeof strings),
                    sizeof strings);
        const auto* text = reinterpret_cast<const char*>(at(strings.sh_offset, strings.sh_size));
        for (std::uint64_t s = 0; s < section.sh_size / sizeof(Elf64_Sym); ++s) {
            Elf64_Sym sym;
            std::memcpy(&sym, at(section.sh_offset + s * sizeof sym, sizeof sym), sizeof sym);
            const unsigned bind = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
            if (sym.st_name >= strings.sh_size) throw std::runtime_error("bad symbol name");
            names.insert(text + sym.st_name);
        }
    }
    return names;
}

}  // namespace dozo::test
