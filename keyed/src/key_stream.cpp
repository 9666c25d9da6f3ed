#include "key_stream.h"

#include <cassert>

namespace dozo::keyed {
namespace {

constexpr std::size_t kPatternTarget = 65536;

// A plain loop over two distinct buffers: the compiler vectorises it.
void xorInto(unsigned char* __restrict data, const unsigned char* __restrict key, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) data[i] ^= key[i];
}

}  // namespace

KeyStream::KeyStream(const unsigned char* key, std::size_t length) {
    assert(length >= 1 && length <= kMaxKeyLength);
    const std::size_t period = 256 * length;
    const std::size_t repeats = period < kPatternTarget ? kPatternTarget / period : 1;
    size_ = period * repeats;
    pattern_ = std::make_unique_for_overwrite<unsigned char[]>(size_);
    for (std::size_t n = 0; n < period; ++n)
        pattern_[n] = static_cast<unsigned char>(key[n % length] + kStep * (n / length));
    for (std::size_t n = period; n < size_; ++n) pattern_[n] = pattern_[n - period];
}

void KeyStream::apply(unsigned char* block, std::size_t n, std::int64_t offset) const {
    assert(offset >= 0);
    std::size_t at = static_cast<std::size_t>(static_cast<std::uint64_t>(offset) % size_);
    while (n > 0) {
        const std::size_t run = n < size_ - at ? n : size_ - at;
        xorInto(block, pattern_.get() + at, run);
        block += run;
        n -= run;
        at = 0;
    }
}

}  // namespace dozo::keyed
