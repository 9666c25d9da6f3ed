#include "dozo/fileio/loadable.h"

#include <elf.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "dozo/fileio/io.h"

namespace dozo::fileio {

namespace {

// Where a part of `size` bytes at `offset` ends, saturated: the fields come
// from the file and may be anything.
std::uint64_t reach(std::uint64_t offset, std::uint64_t size) {
    return offset > UINT64_MAX - size ? UINT64_MAX : offset + size;
}

}  // namespace

std::uint64_t cutShortAt(int fd, std::uint64_t& fileSize) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    fileSize = static_cast<std::uint64_t>(st.st_size);
    Elf64_Ehdr header{};
    if (readFully(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_phentsize != sizeof(Elf64_Phdr))
        return 0;
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    const std::size_t tableSize = segments.size() * sizeof(Elf64_Phdr);
    const std::uint64_t tableEnd = reach(header.e_phoff, tableSize);
    if (tableEnd > fileSize) return tableEnd;
    if (readFully(fd, segments.data(), tableSize, static_cast<off_t>(header.e_phoff)) !=
        static_cast<ssize_t>(tableSize))
        return tableEnd;
    std::uint64_t furthest = 0;
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_type != PT_LOAD) continue;
        const std::uint64_t end = reach(segment.p_offset, segment.p_filesz);
        if (end > fileSize && end > furthest) furthest = end;
    }
    return furthest;
}

}  // namespace dozo::fileio
