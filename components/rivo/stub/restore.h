#pragma once

#include <cstdint>
#include <string>

#include "../src/format.h"
#include "dozo/fileio/io.h"
#include "exit_code.h"
#include "password.h"

namespace dozo::rivo {

// The package this program was started from, located through its trailer.
struct Package {
    fileio::Fd fd;
    std::string path;
    std::uint64_t fileSize = 0;
    Trailer trailer;
    Header header;
    std::uint8_t headerBytes[kHeaderSize] = {};
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
};

// Derives the key, decrypts and, unless testing, puts the file in place:
// only after the final tag and the size check pass.
ExitCode restore(const Package& p, const Password& password, const RestoreOptions& o);

// Removes a half-written output if a signal ends the program; safe in a
// signal handler.
void removePartialOutput();

}  // namespace dozo::rivo
