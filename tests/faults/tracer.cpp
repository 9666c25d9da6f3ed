#include "tracer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fault_plan.h"

namespace dozo::faults {
namespace {

// Where a call names its file: an fd argument, or a (directory fd, path) pair,
// or two of them (link, rename). -1 for "no directory argument" (AT_FDCWD).
struct Call {
    long nr;
    const char* name;
    int fd;           // argument index of the fd, or -1
    int dir1, path1;  // argument indexes, or -1
    int dir2, path2;
    bool canBeShort;
};

constexpr Call kCalls[] = {
    {SYS_read, "read", 0, -1, -1, -1, -1, true},
    {SYS_write, "write", 0, -1, -1, -1, -1, true},
    {SYS_pread64, "pread64", 0, -1, -1, -1, -1, true},
    {SYS_pwrite64, "pwrite64", 0, -1, -1, -1, -1, true},
    {SYS_fsync, "fsync", 0, -1, -1, -1, -1, false},
    {SYS_fdatasync, "fdatasync", 0, -1, -1, -1, -1, false},
    {SYS_ftruncate, "ftruncate", 0, -1, -1, -1, -1, false},
    {SYS_fallocate, "fallocate", 0, -1, -1, -1, -1, false},
    {SYS_open, "open", -1, -1, 0, -1, -1, false},
    {SYS_openat, "openat", -1, 0, 1, -1, -1, false},
    {SYS_rename, "rename", -1, -1, 0, -1, 1, false},
    {SYS_renameat, "renameat", -1, 0, 1, 2, 3, false},
    {SYS_renameat2, "renameat2", -1, 0, 1, 2, 3, false},
    {SYS_linkat, "linkat", -1, 0, 1, 2, 3, false},
};

std::string readLink(const std::string& link) {
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

// A NUL-terminated string in the child, read page by page so that a string
// near the end of a mapping is still read.
std::string readString(pid_t pid, std::uint64_t address) {
    const int mem = ::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
    if (mem < 0) return {};
    std::string out;
    while (out.size() < 4096) {
        char page[4096];
        const std::size_t room = 4096 - (address % 4096);
        const ssize_t got = ::pread(mem, page, room, static_cast<off_t>(address));
        if (got <= 0) break;
        const void* nul = std::memchr(page, '\0', static_cast<std::size_t>(got));
        if (nul != nullptr) {
            out.append(page, static_cast<const char*>(nul) - page);
            break;
        }
        out.append(page, static_cast<std::size_t>(got));
        address += static_cast<std::uint64_t>(got);
    }
    ::close(mem);
    return out;
}

bool pathMatters(FaultPlan& plan, pid_t pid, const std::uint64_t* args, int dir, int path) {
    if (path < 0) return false;
    std::string name = readString(pid, args[path]);
    if (name.empty()) return false;
    if (name[0] != '/') {
        const std::string proc = "/proc/" + std::to_string(pid);
        const int dirFd = dir < 0 ? AT_FDCWD : static_cast<int>(args[dir]);
        name = readLink(dirFd == AT_FDCWD ? proc + "/cwd" : proc + "/fd/" + std::to_string(dirFd)) +
               "/" + name;
    }
    return faultPlanCounts(&plan, name.c_str());
}

bool matters(FaultPlan& plan, pid_t pid, const Call& call, const std::uint64_t* args) {
    if (call.fd >= 0)
        return faultPlanCounts(&plan, readLink("/proc/" + std::to_string(pid) + "/fd/" +
                                               std::to_string(static_cast<int>(args[call.fd])))
                                          .c_str());
    return pathMatters(plan, pid, args, call.dir1, call.path1) ||
           pathMatters(plan, pid, args, call.dir2, call.path2);
}

[[noreturn]] void startChild(char** argv) {
    ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    ::raise(SIGSTOP);
    ::execv(argv[0], argv);
    std::_Exit(127);
}

}  // namespace

int traceProgram(char** argv) {
    FaultPlan plan{};
    const int ready = faultPlanFromEnvironment(&plan);
    if (ready == 0) ::execv(argv[0], argv);  // a clean run: nothing to count
    if (ready <= 0) return 125;

    const pid_t pid = ::fork();
    if (pid < 0) return 125;
    if (pid == 0) startChild(argv);

    int status = 0;
    ::waitpid(pid, &status, 0);
    ::ptrace(PTRACE_SETOPTIONS, pid, nullptr,
             PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL | PTRACE_O_TRACEEXEC);
    int injectedErrno = 0;
    int pending = 0;
    for (;;) {
        ::ptrace(PTRACE_SYSCALL, pid, nullptr, reinterpret_cast<void*>(std::intptr_t{pending}));
        pending = 0;
        if (::waitpid(pid, &status, 0) < 0) return 125;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        if (WIFSIGNALED(status)) {
            ::signal(WTERMSIG(status), SIG_DFL);
            ::kill(::getpid(), WTERMSIG(status));
            return 128 + WTERMSIG(status);
        }
        if (!WIFSTOPPED(status)) continue;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            // Exec and other ptrace events carry no signal; real signals go on.
            if (status >> 16 == 0 && WSTOPSIG(status) != SIGTRAP) pending = WSTOPSIG(status);
            continue;
        }
        __ptrace_syscall_info info{};
        if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, reinterpret_cast<void*>(sizeof info), &info) <=
            0)
            continue;
        if (info.op == PTRACE_SYSCALL_INFO_EXIT) {
            if (injectedErrno != 0) {
                user_regs_struct regs{};
                ::ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
                regs.rax = static_cast<unsigned long long>(-injectedErrno);
                ::ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
                injectedErrno = 0;
            }
            continue;
        }
        if (info.op != PTRACE_SYSCALL_INFO_ENTRY) continue;
        const Call* call = nullptr;
        for (const Call& c : kCalls)
            if (static_cast<long>(info.entry.nr) == c.nr) call = &c;
        if (call == nullptr || !matters(plan, pid, *call, info.entry.args)) continue;
        const int flagsArg = call->nr == SYS_openat ? 2 : call->nr == SYS_open ? 1 : -1;
        if (plan.noTmpfile && flagsArg >= 0 &&
            (static_cast<int>(info.entry.args[flagsArg]) & O_TMPFILE) == O_TMPFILE) {
            // A file system without unnamed temporaries; not counted, as in the shim.
            user_regs_struct regs{};
            ::ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
            regs.orig_rax = static_cast<unsigned long long>(-1);
            ::ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
            injectedErrno = EOPNOTSUPP;
            continue;
        }
        const int kind = faultPlanNext(&plan, call->name, call->canBeShort);
        if (kind == FAULT_NONE) continue;
        if (kind == FAULT_KILL) {
            ::kill(pid, SIGKILL);
            continue;
        }
        user_regs_struct regs{};
        ::ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
        if (kind == FAULT_SHORT) {
            if (regs.rdx > 1) regs.rdx /= 2;
        } else {
            regs.orig_rax = static_cast<unsigned long long>(-1);  // the call is not made
            injectedErrno = faultErrno(kind);
        }
        ::ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
    }
}

}  // namespace dozo::faults
