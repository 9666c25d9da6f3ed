#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <span>
#include <vector>

namespace unlha {

// MSB-first bit packer: LHA reads every code and count from the top bit down.
class BitWriter {
public:
    void put(int n, std::uint32_t v) {
        assert(n >= 0 && n <= 32);
        assert(n == 32 || (v >> n) == 0);
        acc_ = (acc_ << n) | v;
        bits_ += n;
        if (bits_ >= 32) {
            bits_ -= 32;
            word(static_cast<std::uint32_t>(acc_ >> bits_));
        }
    }

    // Moves every complete byte to the caller, keeping the partial one.
    void takeBytes(std::vector<std::uint8_t>& dst) {
        while (bits_ >= 8) {
            bits_ -= 8;
            byte(static_cast<std::uint8_t>(acc_ >> bits_));
        }
        out_.resize(len_);
        dst.swap(out_);
        out_.clear();
        len_ = 0;
    }

    // The bits of an incomplete last byte (after takeBytes), right-aligned.
    int pendingCount() const { return bits_; }
    std::uint32_t pendingValue() const {
        return static_cast<std::uint32_t>(acc_) & ((1u << bits_) - 1);
    }

    // Pads the last byte with zero bits; readers stop at the original size,
    // and a whole spare byte would look like the start of another block.
    void padToByte() {
        if (bits_ & 7) put(8 - (bits_ & 7), 0);
    }

private:
    // The vector only grows, in doubling steps; len_ counts the bytes in it,
    // so a word costs no per-call resize.
    void reserve(std::size_t n) {
        if (len_ + n > out_.size()) out_.resize(std::max<std::size_t>(4096, 2 * out_.size()));
    }
    void word(std::uint32_t w) {
        reserve(4);
        std::uint8_t* p = out_.data() + len_;
        p[0] = static_cast<std::uint8_t>(w >> 24);
        p[1] = static_cast<std::uint8_t>(w >> 16);
        p[2] = static_cast<std::uint8_t>(w >> 8);
        p[3] = static_cast<std::uint8_t>(w);
        len_ += 4;
    }
    void byte(std::uint8_t b) {
        reserve(1);
        out_[len_++] = b;
    }

    std::uint64_t acc_ = 0;
    int bits_ = 0;
    std::size_t len_ = 0;
    std::vector<std::uint8_t> out_;
};

}  // namespace unlha

namespace unlha {

// Joins bit streams that do not end on byte boundaries (segments compressed
// apart), emitting whole bytes.
class BitJoiner {
public:
    void append(std::span<const std::uint8_t> bytes, std::uint32_t tail, int tailBits,
                std::vector<std::uint8_t>& out) {
        if (bits_ == 0) {
            out.insert(out.end(), bytes.begin(), bytes.end());
        } else {
            const std::size_t at = out.size();
            out.resize(at + bytes.size());
            std::uint8_t* o = out.data() + at;
            const std::uint32_t keep = (1u << bits_) - 1;
            for (const std::uint8_t b : bytes) {
                const std::uint32_t v = carry_ << 8 | b;
                *o++ = static_cast<std::uint8_t>(v >> bits_);
                carry_ = v & keep;
            }
        }
        assert(tailBits < 8);
        carry_ = carry_ << tailBits | tail;
        bits_ += tailBits;
        if (bits_ >= 8) {
            bits_ -= 8;
            out.push_back(static_cast<std::uint8_t>(carry_ >> bits_));
            carry_ &= (1u << bits_) - 1;
        }
    }

    // The bits not yet emitted (fewer than 8), right-aligned: they come
    // before whatever is appended next.
    int pendingCount() const { return bits_; }
    std::uint32_t pendingValue() const { return carry_; }

    // Zero bits up to the byte boundary.
    void finish(std::vector<std::uint8_t>& out) {
        if (bits_) out.push_back(static_cast<std::uint8_t>(carry_ << (8 - bits_)));
        bits_ = 0;
        carry_ = 0;
    }

private:
    std::uint32_t carry_ = 0;
    int bits_ = 0;
};

}  // namespace unlha
