#include "self.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "exit_code.h"
#include "messages.h"

// A package cut short inside its program part. The kernel maps the program
// from its file and kills it with a bare signal when exec must zero-fill, or
// the program touches, a page the file no longer has. early.ld gives the data
// segment its zeroes in the file, so exec needs nothing the cut removed, and
// places the entry point below and its texts in the file's first page. It
// runs before the C library starts: when the file is shorter than the end of
// the loaded segments it says the package is damaged (in a dialog too when
// started from a file manager) and exits, before anything touches a missing
// page.
namespace {

using dozo::rivo::Msg;

RIVO_EARLY_CODE inline long sys(long n, long a = 0, long b = 0, long c = 0, long d = 0) {
    long r;
    register long r10 asm("r10") = d;
    asm volatile("syscall"
                 : "=a"(r)
                 : "a"(n), "D"(a), "S"(b), "d"(c), "r"(r10)
                 : "rcx", "r11", "memory");
    return r;
}

// Byte loops only: the empty asm keeps the compiler from turning a loop into
// a strlen or memcpy call, which would go through a table the C library has
// not filled yet.
RIVO_EARLY_CODE inline long length(const char* text) {
    long n = 0;
    while (text[n] != '\0') {
        asm("" : "+r"(n));
        ++n;
    }
    return n;
}

// Appends text at out[at], keeping room for the final NUL; the new end.
RIVO_EARLY_CODE inline long append(char* out, long at, long size, const char* text) {
    for (long i = 0; text[i] != '\0' && at + 1 < size; ++i, ++at) {
        asm("" : "+r"(i));
        out[at] = text[i];
    }
    out[at] = '\0';
    return at;
}

RIVO_EARLY_CODE inline long put(const char** list, long at, const char* item) {
    list[at] = item;
    asm volatile("" : "+r"(at)::"memory");
    return at + 1;
}

// The value of NAME= in envp, or null.
RIVO_EARLY_CODE inline const char* variable(char* const* envp, const char* name) {
    for (char* const* e = envp; *e != nullptr; ++e) {
        const char* v = *e;
        const char* n = name;
        while (*n != '\0' && *v == *n) ++v, ++n;
        if (*n == '\0') return v;
    }
    return nullptr;
}

// Started from a file manager (no terminal, a display named), the text goes
// to an error box of zenity or kdialog too, as every other outcome does.
RIVO_EARLY_CODE void showInDialog(char* const* envp, const char* title, const char* text) {
    RIVO_EARLY_DATA static const char tty[] = "/dev/tty";
    const long fd = sys(SYS_open, reinterpret_cast<long>(tty), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        sys(SYS_close, fd);
        return;
    }
    RIVO_EARLY_DATA static const char display[] = "DISPLAY=", wayland[] = "WAYLAND_DISPLAY=",
                                      pathName[] = "PATH=";
    const char* x = variable(envp, display);
    const char* w = variable(envp, wayland);
    if ((x == nullptr || *x == '\0') && (w == nullptr || *w == '\0')) return;

    RIVO_EARLY_DATA static const char zenity[] = "zenity", kdialog[] = "kdialog",
                                      error[] = "--error", noMarkup[] = "--no-markup",
                                      titleOption[] = "--title",
                                      titleIs[] = "--title=", textIs[] = "--text=";
    const char* path = variable(envp, pathName);
    char program[4096];
    const bool isZenity = dozo::rivo::findOnPath(path, zenity, program, sizeof program);
    if (!isZenity && !dozo::rivo::findOnPath(path, kdialog, program, sizeof program)) return;
    char titleArg[128], textArg[512];
    append(titleArg, append(titleArg, 0, sizeof titleArg, titleIs), sizeof titleArg, title);
    append(textArg, append(textArg, 0, sizeof textArg, textIs), sizeof textArg, text);
    // One store at a time: an initialiser could be copied from constants
    // the compiler keeps in a page the cut removed.
    const char* argv[7];
    long n = 0;
    if (isZenity) {
        n = put(argv, n, zenity);
        n = put(argv, n, error);
        n = put(argv, n, noMarkup);
        n = put(argv, n, titleArg);
        n = put(argv, n, textArg);
    } else {
        n = put(argv, n, kdialog);
        n = put(argv, n, titleOption);
        n = put(argv, n, title);
        n = put(argv, n, error);
        n = put(argv, n, text);
    }
    put(argv, n, nullptr);
    const long pid = sys(SYS_fork);
    if (pid == 0) {
        sys(SYS_execve, reinterpret_cast<long>(program), reinterpret_cast<long>(argv),
            reinterpret_cast<long>(envp));
        sys(SYS_exit_group, 127);
    }
    if (pid > 0) sys(SYS_wait4, pid, 0, 0, 0);
}

}  // namespace

namespace dozo::rivo {

bool findOnPath(const char* path, const char* name, char* out, long size) {
    RIVO_EARLY_DATA static const char slash[] = "/";
    for (const char* p = path; p != nullptr && *p != '\0';) {
        long end = 0;
        while (p[end] != '\0' && p[end] != ':') {
            asm("" : "+r"(end));
            ++end;
        }
        if (*p == '/' && end + 1 + length(name) < size) {
            for (long i = 0; i < end; ++i) {
                asm("" : "+r"(i));
                out[i] = p[i];
            }
            append(out, append(out, end, size, slash), size, name);
            struct stat st;
            if (sys(SYS_stat, reinterpret_cast<long>(out), reinterpret_cast<long>(&st)) == 0 &&
                S_ISREG(st.st_mode) && sys(SYS_access, reinterpret_cast<long>(out), X_OK) == 0)
                return true;
        }
        p = p[end] == ':' ? p + end + 1 : nullptr;
    }
    return false;
}

}  // namespace dozo::rivo

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
    const bool japanese = dozo::rivo::japaneseLocale(envp);
    const char* text = japanese ? dozo::rivo::kJapaneseDamaged : Msg::damaged;
    sys(SYS_write, STDERR_FILENO, reinterpret_cast<long>(text), length(text));
    showInDialog(envp, japanese ? dozo::rivo::kJapaneseDialogTitle : Msg::dialogTitle, text);
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
