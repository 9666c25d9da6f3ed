#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace dozo::keyed {

inline constexpr std::size_t kMaxKeyLength = 255;
inline constexpr unsigned char kStep = 57;

// The key stream of one call. Key position j takes the values key[j],
// key[j] + 57, key[j] + 114, ... and, 57 being odd, comes back to key[j]
// after 256 uses: the whole stream repeats every 256 * L bytes. That period
// is computed once (whole periods, repeated up to 64 KiB so short keys
// still XOR in long runs) and then laid over the file block by block.
class KeyStream {
public:
    // 1 <= length <= kMaxKeyLength.
    KeyStream(const unsigned char* key, std::size_t length);

    // XORs the n bytes that sit at file offset `offset` with their key bytes.
    void apply(unsigned char* block, std::size_t n, std::int64_t offset) const;

private:
    std::unique_ptr<unsigned char[]> pattern_;
    std::size_t size_ = 0;
};

}  // namespace dozo::keyed
