#include "self.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "exit_code.h"
#include "messages.h"

namespace dozo::rivo {

ParseError whyNoTrailer(int fd, std::uint64_t fileSize, ParseError trailerError) {
    // One pread each: a regular file reads short only at its end, and the
    // sizes asked for stop there.
    std::uint8_t elf[4096];
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof elf, fileSize));
    if (::pread(fd, elf, want, 0) != static_cast<ssize_t>(want)) return trailerError;
    const std::uint64_t programSize = programSizeOf(elf, want);
    std::uint8_t after[kHeaderSize];
    std::size_t afterSize = 0;
    if (programSize != 0 && programSize < fileSize) {
        afterSize =
            static_cast<std::size_t>(std::min<std::uint64_t>(kHeaderSize, fileSize - programSize));
        if (::pread(fd, after, afterSize, static_cast<off_t>(programSize)) !=
            static_cast<ssize_t>(afterSize))
            return trailerError;
    }
    return explainTrailerError(trailerError, fileSize, programSize, after, afterSize);
}

}  // namespace dozo::rivo

// A package cut short inside its program part. The kernel maps the program
// from its file and kills it with a bare signal when exec must zero-fill, or
// the program touches, a page the file no longer has. early.ld gives the data
// segment its zeroes in the file, so exec needs nothing the cut removed, and
// places the entry point below and its texts in the file's first page. It
// runs before the C library starts: when the file is shorter than the end of
// the loaded segments it says the package is damaged and exits, before
// anything touches a missing page.
namespace {

using dozo::rivo::Msg;

RIVO_EARLY_CODE inline long sys(long n, long a = 0, long b = 0, long c = 0) {
    long r;
    asm volatile("syscall" : "=a"(r) : "a"(n), "D"(a), "S"(b), "d"(c) : "rcx", "r11", "memory");
    return r;
}

}  // namespace

extern "C" {
// Linker-defined: the ELF header, mapped at the start of the first segment.
extern const Elf64_Ehdr __ehdr_start;

RIVO_EARLY_CODE void rivo_early_check(long* sp) {
    RIVO_EARLY_DATA static const char self[] = "/proc/self/exe";
    const long fd = sys(SYS_open, reinterpret_cast<long>(self), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;  // no /proc: nothing to compare with
    struct stat st;
    const long rc = sys(SYS_fstat, fd, reinterpret_cast<long>(&st));
    sys(SYS_close, fd);
    if (rc != 0) return;
    const auto* ph = reinterpret_cast<const Elf64_Phdr*>(
        reinterpret_cast<const char*>(&__ehdr_start) + __ehdr_start.e_phoff);
    std::uint64_t loadedEnd = 0;
    for (unsigned i = 0; i < __ehdr_start.e_phnum; ++i)
        if (ph[i].p_type == PT_LOAD && ph[i].p_offset + ph[i].p_filesz > loadedEnd)
            loadedEnd = ph[i].p_offset + ph[i].p_filesz;
    if (static_cast<std::uint64_t>(st.st_size) >= loadedEnd) return;

    const long argc = sp[0];
    char* const* envp = reinterpret_cast<char* const*>(sp + argc + 2);
    const char* text =
        dozo::rivo::japaneseLocale(envp) ? dozo::rivo::kJapaneseDamaged : Msg::damaged;
    long length = 0;
    // The empty asm keeps the compiler from turning the loop into a strlen
    // call, which would go through a table the C library has not filled yet.
    while (text[length] != '\0') {
        asm("" : "+r"(length));
        ++length;
    }
    sys(SYS_write, STDERR_FILENO, reinterpret_cast<long>(text), length);
    sys(SYS_exit_group, dozo::rivo::kExitDamaged);
}
}

// The entry point: runs the check on the stack the kernel prepared, then
// hands over to the C library's own entry with every register it reads
// (rdx, the stack) as it was.
asm(R"(
    .pushsection .rivo_early,"ax",@progbits
    .globl rivo_entry
    .type rivo_entry, @function
rivo_entry:
    mov %rdx, %r12
    mov %rsp, %rdi
    call rivo_early_check
    mov %r12, %rdx
    jmp _start
    .size rivo_entry, .-rivo_entry
    .popsection
)");
