#include "self.h"

#include <unistd.h>

#include <algorithm>

namespace dozo::rivo {

ParseError whyNoTrailer(int fd, std::uint64_t fileSize, ParseError trailerError) {
    // One pread each: fd is a regular file, which reads whole or not at all.
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
