#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "dozo/fileio/replacement.h"
#include "dozo/fileio/source.h"

namespace dozo::fileio {

// Large enough to run at the disk's sequential speed, small enough that memory
// stays flat whatever the file size. Even, so byte pairs never straddle blocks.
inline constexpr std::size_t kBlockSize = std::size_t{1} << 20;
static_assert(kBlockSize % 2 == 0);

// Reads the whole source front to back in blocks, lets pass(block, n,
// offset) change each block in place and appends it to the result.
template <class Pass>
Status streamForward(Source& source, Replacement& result, Pass&& pass) {
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kBlockSize);
    for (std::int64_t offset = 0; offset < source.size();) {
        const auto n =
            static_cast<std::size_t>(std::min<std::int64_t>(kBlockSize, source.size() - offset));
        if (Status s = source.readAt(offset, buffer.get(), n); s != Status::ok) return s;
        pass(buffer.get(), n, offset);
        if (Status s = result.write(buffer.get(), n); s != Status::ok) return s;
        offset += static_cast<std::int64_t>(n);
    }
    return Status::ok;
}

// Walks the source from its end: the k-th block handed to pass(block, n,
// offset) holds, in file order, the n source bytes that end `offset` bytes
// before the end of the source. pass reverses them (and may change them
// further) in place; the block is then appended to the result at `offset`.
// Every block but the one holding the first source byte has kBlockSize bytes.
template <class Pass>
Status streamBackward(Source& source, Replacement& result, Pass&& pass) {
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kBlockSize);
    for (std::int64_t offset = 0; offset < source.size();) {
        const auto n =
            static_cast<std::size_t>(std::min<std::int64_t>(kBlockSize, source.size() - offset));
        const std::int64_t at = source.size() - offset - static_cast<std::int64_t>(n);
        if (Status s = source.readAt(at, buffer.get(), n); s != Status::ok) return s;
        pass(buffer.get(), n, offset);
        if (Status s = result.write(buffer.get(), n); s != Status::ok) return s;
        offset += static_cast<std::int64_t>(n);
    }
    return Status::ok;
}

}  // namespace dozo::fileio
