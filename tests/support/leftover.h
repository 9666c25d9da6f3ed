#pragma once

// For the programs that link components/fileio: what a writer of ours leaves
// when it is killed mid-write. Header-only, so the other test programs need
// not link fileio.

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "dozo/fileio/sys.h"
#include "files.h"

namespace dozo::test {

// Runs a writer for `name` in `folder` in a child that dies mid-write, as
// under kill -9, on a file system without unnamed temporaries, so it leaves
// its named temporary. Returns that temporary's name (empty when none).
inline std::string killedWriter(const std::filesystem::path& folder, const std::string& name,
                                const char* tag = fileio::kTagDozo) {
    const auto before = listDir(folder);
    runInChild([&] {
        fileio::sysCalls().openat = [](int dirFd, const char* entry, int flags, mode_t mode) {
            if ((flags & O_TMPFILE) == O_TMPFILE) {
                errno = EOPNOTSUPP;
                return -1;
            }
            return ::openat(dirFd, entry, flags, mode);
        };
        const fileio::Fd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        fileio::Placement p;
        if (p.create(dirFd.get(), name, {.tag = tag, .sweep = false}) != 0) return 1;
        (void)fileio::writeAll(p.fd(), "partial", 7);
        ::_exit(0);
    });
    for (const std::string& entry : listDir(folder))
        if (!before.contains(entry)) return entry;
    return {};
}

}  // namespace dozo::test
