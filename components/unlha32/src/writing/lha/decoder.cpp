#include "writing/lha/decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "writing/lha/crc16.h"

namespace unlha {
namespace {

// The format's own constants, restated here rather than taken from the
// encoder's headers: the check must not share the encoder's assumptions.
constexpr int kLiteralAndLengthCodes = 510;  // 256 literals, lengths 3..256
constexpr int kLengthCodes = 19;             // code lengths of the literal table
constexpr int kMatchBase = 253;              // symbol 256 is a match of 3 bytes
constexpr int kLongestCode = 16;
constexpr int kLongestMatch = 256;

// MSB-first reader over PackedBits. Past their end it reads zeros and counts
// them, so that a stream that runs over is told by bits() > size().
class BitReader {
public:
    explicit BitReader(const PackedBits& in)
        : begin_(in.bytes.data()), p_(begin_), end_(begin_ + in.bytes.size()) {
        if (in.tailBits > 0) {
            tail_ = static_cast<std::uint8_t>(in.tail << (8 - in.tailBits));
            hasTail_ = true;
        }
        refill();
        skip(in.skipBits);
        start_ = static_cast<std::uint64_t>(in.skipBits);
    }

    // At least 56 bits are buffered afterwards: a match's codes and extra bits
    // (47 at most) need one refill. Eight bytes are loaded whatever is
    // buffered, without a test: the bits below the ones counted are those of
    // the next bytes, which the next refill ORs in again, the same bits.
    void refill() {
        if (end_ - p_ >= 8) {
            std::uint64_t v;
            std::memcpy(&v, p_, 8);
            buf_ |= __builtin_bswap64(v) >> n_;
            p_ += (63 - n_) >> 3;
            n_ |= 56;
            return;
        }
        while (n_ < 56) {
            std::uint8_t b = 0;
            if (p_ < end_) {
                b = *p_++;
            } else {
                if (hasTail_) b = tail_;
                hasTail_ = false;
                ++over_;
            }
            buf_ |= static_cast<std::uint64_t>(b) << (56 - n_);
            n_ += 8;
        }
    }

    std::uint32_t peek16() const { return static_cast<std::uint32_t>(buf_ >> 48); }

    void skip(int bits) {
        buf_ <<= bits;
        n_ -= bits;
    }

    // Up to 16 bits; a refill must have come before.
    std::uint32_t take(int bits) {
        if (bits == 0) return 0;
        const auto v = static_cast<std::uint32_t>(buf_ >> (64 - bits));
        skip(bits);
        return v;
    }

    std::uint32_t get(int bits) {
        refill();
        return take(bits);
    }

    // Bits taken from the stream, the skipped ones not counted.
    std::uint64_t consumed() const {
        return static_cast<std::uint64_t>(p_ - begin_ + over_) * 8 -
               static_cast<std::uint64_t>(n_) - start_;
    }

private:
    const std::uint8_t* begin_;
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    std::uint8_t tail_ = 0;
    bool hasTail_ = false;
    std::uint64_t buf_ = 0;    // the next bits, from the top
    int n_ = 0;                // how many of them are real
    std::ptrdiff_t over_ = 0;  // bytes fed from past `bytes`: the tail, then zeros
    std::uint64_t start_ = 0;
};

// A canonical Huffman code as LHA builds it: codes assigned in order of
// length, and within a length in order of symbol. Codes up to kFast bits are
// found in one look-up, longer ones by length.
template <int kSymbols, int kFast>
class Code {
public:
    // False unless the lengths make a complete code, or name one symbol
    // (`only`) that takes no bits at all.
    bool build(const std::uint8_t* lens, int only = -1) {
        if (only >= 0) {
            if (only >= kSymbols) return false;
            fast_.fill(static_cast<std::uint16_t>(only << 5));  // of no bits
            return true;
        }
        std::array<int, kLongestCode + 1> count{};
        for (int s = 0; s < kSymbols; ++s) ++count[lens[s]];
        count[0] = 0;
        std::uint32_t room = 1u << kLongestCode;  // what a complete code fills
        std::uint32_t filled = 0;
        for (int b = 1; b <= kLongestCode; ++b)
            filled += static_cast<std::uint32_t>(count[b]) << (kLongestCode - b);
        if (filled != room) return false;
        std::array<std::uint32_t, kLongestCode + 2> next{};
        int index = 0;
        for (int b = 1; b <= kLongestCode; ++b) {
            first_[b] = next[b];
            next[b + 1] = (next[b] + static_cast<std::uint32_t>(count[b])) << 1;
            count_[b] = count[b];
            base_[b] = index;
            index += count[b];
        }
        fast_.fill(kLonger);
        std::array<std::uint32_t, kLongestCode + 1> code{};
        for (int b = 1; b <= kLongestCode; ++b) code[b] = first_[b];
        std::array<int, kLongestCode + 1> placed{};
        for (int s = 0; s < kSymbols; ++s) {
            const int b = lens[s];
            if (b == 0) continue;
            sorted_[base_[b] + placed[b]++] = static_cast<std::uint16_t>(s);
            const std::uint32_t c = code[b]++;
            if (b > kFast) continue;
            const std::uint32_t from = c << (kFast - b), to = (c + 1) << (kFast - b);
            const auto entry = static_cast<std::uint16_t>(s << 5 | b);
            std::fill(fast_.begin() + from, fast_.begin() + to, entry);
        }
        return true;
    }

    // A refill must have come before. Inlined into the loop that owns the
    // reader, so that the reader stays in registers; longer codes are looked
    // for out of line, from the bits alone.
    int decode(BitReader& in) const {
        const std::uint32_t v = in.peek16();
        int e = fast_[v >> (kLongestCode - kFast)];
        if (e == kLonger) {
            e = longer(v);
            if (e < 0) return -1;  // a complete code always has one; kept for safety
        }
        in.skip(e & 31);
        return e >> 5;
    }

private:
    static constexpr std::uint16_t kLonger = 0xFFFF;  // a code longer than kFast starts here

    // symbol << 5 | length of the code `v` begins with, or -1. Out of line:
    // rare, and it would crowd the loop.
    [[gnu::noinline]] int longer(std::uint32_t v) const {
        for (int b = kFast + 1; b <= kLongestCode; ++b) {
            const std::uint32_t c = (v >> (kLongestCode - b)) - first_[b];
            if (c < static_cast<std::uint32_t>(count_[b]))
                return sorted_[base_[b] + static_cast<int>(c)] << 5 | b;
        }
        return -1;
    }

    // symbol << 5 | length, or kLonger; a code of one symbol fills it with
    // that symbol at length 0.
    std::array<std::uint16_t, std::size_t{1} << kFast> fast_{};
    std::array<std::uint32_t, kLongestCode + 1> first_{};
    std::array<int, kLongestCode + 1> count_{}, base_{};
    std::array<std::uint16_t, kSymbols> sorted_{};
};

class StreamDecoder {
public:
    StreamDecoder(Method method, const PackedBits& bits, DecoderMemory& memory)
        : in_(bits), window_(memory.window) {
        switch (method) {
            case Method::lh5:
                dictBits_ = 13, positions_ = 14, positionBits_ = 4;
                break;
            case Method::lh6:
                dictBits_ = 15, positions_ = 16, positionBits_ = 5;
                break;
            case Method::lh7:
                dictBits_ = 16, positions_ = 17, positionBits_ = 5;
                break;
            case Method::lh0:
                break;
        }
        dict_ = std::size_t{1} << dictBits_;
        // Slides move a dictionary's worth of bytes: a few per megabyte.
        window_.resize(dict_ + (std::size_t{1} << 20) + kLongestMatch + kCopySlack);
    }

    const char* run(std::span<const std::uint8_t> history, std::uint64_t length) {
        if (dictBits_ == 0) return "not a compressed method";
        const std::size_t kept = std::min(history.size(), dict_);
        if (kept > 0) std::memcpy(window_.data(), history.data() + history.size() - kept, kept);
        pos_ = crcFrom_ = kept;
        std::uint64_t left = 0;  // symbols left in the block
        while (produced_ < length) {
            if (left == 0) {
                left = in_.get(16);
                if (left == 0) return "empty block";
                if (const char* why = readTables()) return why;
            }
            if (const char* why = readSymbols(left, length)) return why;
        }
        if (left != 0) return "more symbols than data";
        return nullptr;
    }

    Decoded result(const char* error) {
        crc_ =
            crc16(crc_, std::span<const std::uint8_t>(window_).subspan(crcFrom_, pos_ - crcFrom_));
        crcFrom_ = pos_;
        return {produced_, crc_, in_.consumed(), error != nullptr ? error : ""};
    }

private:
    // A match is copied eight bytes at a time, up to seven past its end.
    static constexpr std::size_t kCopySlack = 7;

    // Decodes the block's `left` symbols, or fewer where the data ends. The
    // reader and positions are copied into locals for the loop: every byte
    // written to the window may alias a member, which would send them to
    // memory and back on each symbol.
    const char* readSymbols(std::uint64_t& left, std::uint64_t length) {
        BitReader in = in_;
        std::uint8_t* const window = window_.data();
        const std::size_t slideAt = window_.size() - kLongestMatch - kCopySlack;
        std::size_t pos = pos_;
        std::uint64_t produced = produced_;
        std::uint64_t n = left;
        const char* why = nullptr;
        while (n > 0 && produced < length) {
            --n;
            in.refill();
            const int c = literals_.decode(in);
            if (c < 0) {
                why = "no such code";
                break;
            }
            if (c < 256) {
                window[pos++] = static_cast<std::uint8_t>(c);
                ++produced;
            } else {
                const int len = c - kMatchBase;
                const int p = positionCodes_.decode(in);
                if (p < 0) {
                    why = "no such code";
                    break;
                }
                const std::size_t dist = (p <= 1 ? static_cast<std::size_t>(p)
                                                 : (std::size_t{1} << (p - 1)) + in.take(p - 1)) +
                                         1;
                if (dist >= dict_) {
                    why = "a match beyond the dictionary";
                    break;
                }
                if (dist > pos) {
                    why = "a match before the data";
                    break;
                }
                if (produced + static_cast<std::uint64_t>(len) > length) {
                    why = "a match past the end of the data";
                    break;
                }
                std::uint8_t* to = window + pos;
                const std::uint8_t* from = to - dist;
                if (dist >= 8) {
                    // Each eight bytes read were written before: no overlap.
                    for (int i = 0; i < len; i += 8) std::memcpy(to + i, from + i, 8);
                } else if (dist == 1) {
                    std::memset(to, *from, static_cast<std::size_t>(len));
                } else {
                    for (int i = 0; i < len; ++i) to[i] = from[i];
                }
                pos += static_cast<std::size_t>(len);
                produced += static_cast<std::uint64_t>(len);
            }
            if (pos >= slideAt) pos = slide(pos);
        }
        in_ = in;
        pos_ = pos;
        produced_ = produced;
        left = n;
        return why;
    }

    // Keeps the last dictionary's worth of the window; gives the new position.
    std::size_t slide(std::size_t pos) {
        crc_ =
            crc16(crc_, std::span<const std::uint8_t>(window_).subspan(crcFrom_, pos - crcFrom_));
        std::memmove(window_.data(), window_.data() + pos - dict_, dict_);
        crcFrom_ = dict_;
        return dict_;
    }

    // The lengths of the small tables: 0..6 in three bits, longer as 7 and a
    // run of ones ended by a zero. After entry `special` a two-bit count of
    // zero lengths follows. A count of 0 names the one symbol used.
    const char* readSmallLengths(int countBits, int symbols, int special, std::uint8_t* lens,
                                 int* only) {
        *only = -1;
        const int n = static_cast<int>(in_.get(countBits));
        std::fill(lens, lens + symbols, 0);
        if (n == 0) {
            *only = static_cast<int>(in_.get(countBits));
            return *only < symbols ? nullptr : "a table of a symbol that does not exist";
        }
        if (n > symbols) return "a table longer than its symbols";
        for (int i = 0; i < n;) {
            in_.refill();
            int len = static_cast<int>(in_.take(3));
            if (len == 7) {
                while (in_.take(1) == 1) {
                    if (++len > kLongestCode) return "a code longer than 16 bits";
                }
            }
            lens[i++] = static_cast<std::uint8_t>(len);
            // The zeros may reach past the count: they only say so again.
            if (i == special) i += static_cast<int>(in_.get(2));
        }
        return nullptr;
    }

    const char* readTables() {
        std::array<std::uint8_t, kLengthCodes> tLens{};
        int only = -1;
        if (const char* why = readSmallLengths(5, kLengthCodes, 3, tLens.data(), &only)) return why;
        if (!lengthCodes_.build(tLens.data(), only)) return "an incomplete code-length table";

        std::array<std::uint8_t, kLiteralAndLengthCodes> cLens{};
        const int n = static_cast<int>(in_.get(9));
        only = -1;
        if (n == 0) {
            only = static_cast<int>(in_.get(9));
            if (only >= kLiteralAndLengthCodes) return "a table of a symbol that does not exist";
        } else if (n > kLiteralAndLengthCodes) {
            return "a table longer than its symbols";
        }
        for (int i = 0; i < n;) {
            in_.refill();
            const int t = lengthCodes_.decode(in_);
            if (t < 0) return "no such code";
            if (t > 2) {
                cLens[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(t - 2);
                continue;
            }
            const int zeros = t == 0   ? 1
                              : t == 1 ? static_cast<int>(in_.take(4)) + 3
                                       : static_cast<int>(in_.take(9)) + 20;
            i += zeros;
            if (i > n) return "zero lengths past the table";
        }
        if (!literals_.build(cLens.data(), only)) return "an incomplete literal table";

        std::array<std::uint8_t, 17> pLens{};
        if (const char* why = readSmallLengths(positionBits_, positions_, -1, pLens.data(), &only))
            return why;
        // A table of fewer positions than the method has leaves the rest unused.
        if (!positionCodes_.build(pLens.data(), only)) return "an incomplete position table";
        return nullptr;
    }

    BitReader in_;
    std::vector<std::uint8_t>& window_;
    int dictBits_ = 0, positionBits_ = 0;
    int positions_ = 0;
    std::size_t dict_ = 0, pos_ = 0, crcFrom_ = 0;
    std::uint64_t produced_ = 0;
    std::uint16_t crc_ = 0;
    Code<kLengthCodes, 8> lengthCodes_;
    Code<kLiteralAndLengthCodes, 11> literals_;
    Code<17, 8> positionCodes_;
};

}  // namespace

Decoded decode(Method method, const PackedBits& bits, std::span<const std::uint8_t> history,
               std::uint64_t length, DecoderMemory& memory) {
    StreamDecoder decoder(method, bits, memory);
    const char* error = decoder.run(history, length);
    Decoded out = decoder.result(error);
    if (out.error.empty() && out.bits > bits.size()) out.error = "the stream ends early";
    return out;
}

}  // namespace unlha
