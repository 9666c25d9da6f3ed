#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "writing/lha/method.h"

namespace unlha {

// The parser takes the input in chunks of this many positions, each started
// only once the chunk and its look-ahead are buffered. A chunk's end cuts the
// matches that cross it, and a stream's first chunk is priced by its own
// parse: long chunks make both matter less, and most files are one chunk.
inline constexpr int kParseChunk = 16384;

// The large buffers an encoder works in. Handing the same one to encoders
// that run one after another (never two at once) spares allocating, zeroing
// and faulting in a few megabytes for each; what it holds between encoders
// never affects their output.
struct EncoderMemory {
    std::vector<std::uint8_t> window;
    std::vector<int> heads, son;
    std::vector<std::uint32_t> tokens;
    std::vector<std::uint32_t> cost, step, path, first;  // the parser's, per chunk
    struct Match {
        int len, dist;
    };
    std::vector<Match> found;  // the matches of a chunk's positions
    // How far the last encoder filled the window without sliding it (its
    // heads name only positions before it); -1 when unknown. `kind` says
    // which method and level set them.
    int used = -1;
    int kind = -1;
};

// Streaming LZSS + static-Huffman encoder for -lh5-, -lh6- and -lh7-, at
// either level. Memory
// is bounded by the method's dictionary plus a fixed read-ahead, whatever the
// input size. Compressed bytes go to the sink as blocks complete; a sink that
// returns false stops the encoder (every later call returns false).
class Encoder {
public:
    using Sink = std::function<bool(std::span<const std::uint8_t>)>;

    Encoder(Method method, Level level, Sink sink, EncoderMemory* memory = nullptr);
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Makes `history` (at most the dictionary size) the data before the first
    // write, available to matches but not encoded. Only before any write.
    void prime(std::span<const std::uint8_t> history);

    // A shallow look, for samples that only decide whether data is worth
    // compressing: the normal level searches an eighth as deep and prices
    // its first chunk by default. Only before any write.
    void quick();

    bool write(std::span<const std::uint8_t> data);
    bool finish();

    // Ends a segment of a stream compressed in pieces: completes its blocks
    // but leaves the last bits (fewer than 8) to the caller instead of padding.
    // `last` marks the segment that ends the stream.
    bool finishSegment(bool last, std::uint32_t* tail, int* tailBits);

    std::uint64_t compressedSize() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

// Whole-buffer convenience for tests and fuzzing: the raw compressed stream
// (no archive header). `method` must not be lh0.
std::vector<std::uint8_t> compress(std::span<const std::uint8_t> data, Method method, Level level);

}  // namespace unlha
