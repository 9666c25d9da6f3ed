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

// Reads the whole source front to back in blocks, lets rewrite(block, n,
// offset) change each block in place and appends it to the result.
template <class Rewrite>
Status streamForward(Source& source, Replacement& result, Rewrite&& rewrite) {
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kBlockSize);
    for (std::int64_t offset = 0; offset < source.size();) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(kBlockSize, source.size() - offset));
        if (Status s = source.readAt(offset, buffer.get(), n); s != Status::ok) return s;
        rewrite(buffer.get(), n, offset);
        if (Status s = result.write(buffer.get(), n); s != Status::ok) return s;
        offset += static_cast<std::int64_t>(n);
    }
    return Status::ok;
}

}  // namespace dozo::fileio
