#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dozo/fileio/io.h"
#include "exit_code.h"
#include "password.h"
#include "unseal.h"

namespace dozo::rivo {

// The package this program was started from, located through its trailer.
struct Package final : PackageFile {
    fileio::Fd fd;
    std::string path;  // as shown
    std::uint64_t bytes = 0;
    Located where;

    std::uint64_t size() const override { return bytes; }
    bool readAt(void* buffer, std::size_t n, std::uint64_t offset) const override;
};

// Opens and checks trailer and header; prints why when it fails. path names
// the package in messages; it is opened through /proc/self/exe when that
// exists, so the file read is the very file that runs.
ExitCode openPackage(const char* path, Package& p);
// Prints format and sizes; needs no password.
void printInfo(const Package& p);

struct RestoreOptions {
    int dirFd = -1;       // folder that receives the file
    std::string dirPath;  // the same, for messages
    bool force = false;   // replace an existing entry of that name
    bool testOnly = false;
    // Asked, when set, whether an existing entry of that name (shown) may be
    // replaced: the user who double-clicked a package has no -f to give.
    std::function<bool(const std::string& shownPath)> askReplace;
};

// Derives the key, decrypts and, unless testing, puts the file in place:
// only after the final tag and the size check pass.
ExitCode restore(const Package& p, const Password& password, const RestoreOptions& o);

// Removes a half-written output if a signal ends the program; safe in a
// signal handler.
void removePartialOutput();

}  // namespace dozo::rivo
