#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "lha/method.h"

namespace unlha {

// Streaming LZSS + static-Huffman encoder for -lh5-, -lh6- and -lh7-. Memory
// is bounded by the method's dictionary plus a fixed read-ahead, whatever the
// input size. Compressed bytes go to the sink as blocks complete; a sink that
// returns false stops the encoder (every later call returns false).
class Encoder {
public:
    using Sink = std::function<bool(std::span<const std::uint8_t>)>;

    Encoder(Method method, Sink sink);
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    bool write(std::span<const std::uint8_t> data);
    bool finish();

    std::uint64_t compressedSize() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

// Whole-buffer convenience for tests and fuzzing: the raw compressed stream
// (no archive header). `method` must not be lh0.
std::vector<std::uint8_t> compress(std::span<const std::uint8_t> data, Method method);

}  // namespace unlha
