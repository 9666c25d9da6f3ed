#pragma once

#include <errno.h>

#include "dozo/fileio/sys.h"

namespace dozo::test {

// Swaps entries of the system-call table for the life of the object; the
// real calls come back when it goes away.
class Fault {
public:
    Fault() : saved_(fileio::sysCalls()) {}
    Fault(const Fault&) = delete;
    Fault& operator=(const Fault&) = delete;
    ~Fault() { fileio::sysCalls() = saved_; }

    fileio::SysCalls& calls() { return fileio::sysCalls(); }
    const fileio::SysCalls& real() const { return saved_; }

private:
    fileio::SysCalls saved_;
};

}  // namespace dozo::test
