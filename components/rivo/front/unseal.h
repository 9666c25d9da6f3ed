#pragma once

// The steps of opening a package that both fronts take, whatever system they
// run on: finding the payload at the end of their own file, the key, the
// metadata, and the content, each block authenticated before it is handed
// on. The fronts read their file and write the result in their system's own
// way; nothing here prints, asks or writes a file.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "crypto.h"
#include "format.h"

namespace dozo::rivo {

// The package file, read as the front's system reads files.
class PackageFile {
public:
    virtual std::uint64_t size() const = 0;
    // Exactly n bytes at offset; false on a failure or when the file ends
    // first (a file shorter than its parts said is a failure to read too).
    virtual bool readAt(void* buffer, std::size_t n, std::uint64_t offset) const = 0;

protected:
    ~PackageFile() = default;
};

enum class Unsealed {
    ok,
    readFailed,  // the system's last error says why
    notPackage,
    extraData,
    unsupported,
    costTooHigh,
    damaged,
    noMemory,
    wrongPassword,
    sinkFailed,  // the front could not take a block; its own error says why
};

Unsealed fromParseError(ParseError e);

// Where the payload lies, as its trailer and header say.
struct Located {
    std::uint64_t fileSize = 0;
    Trailer trailer;
    Header header;
    std::uint8_t headerBytes[kHeaderSize] = {};
};

// Reads and checks trailer and header, their agreement and the stored cost
// (a cost out of bounds is refused before any password is asked). A file
// without a valid trailer is told apart by where its own program part ends:
// a program cut short, a package cut short or extended, or no package.
Unsealed locate(const PackageFile& file, Located& out);

class Unsealing {
public:
    Unsealing(const PackageFile& file, const Located& where) : file_(file), where_(where) {}

    // Derives the key from the password; wrongPassword when the header's
    // check value says it is not the package's.
    Unsealed unlock(const void* password, std::size_t length);
    // Opens the metadata, from the start of the stream each time it is
    // called (so a front may go through the content again): damaged unless
    // it is well formed and names the size the header gives.
    Unsealed metadata(Metadata& out);
    // After metadata(): the content in blocks, each handed to sink only once
    // it is authenticated. ok only when the final tag closed the last chunk
    // and every byte arrived; a front keeps nothing it was given otherwise.
    Unsealed content(const std::function<bool(const std::uint8_t*, std::size_t)>& sink);

private:
    const PackageFile& file_;
    const Located& where_;
    Keys keys_;
    Opener opener_;
    bool final_ = false;
    std::uint64_t size_ = 0;
};

}  // namespace dozo::rivo
