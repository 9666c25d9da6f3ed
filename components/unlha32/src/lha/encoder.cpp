#include "lha/encoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "lha/bit_writer.h"
#include "lha/block_coder.h"

namespace unlha {
namespace {

// Read-ahead the parser keeps past the current position, so that a match of
// the longest length starting one byte back can still be hashed to its end.
constexpr int kLookahead = kMaxMatch + kMinMatch;
constexpr int kNil = -1;

struct Tuning {
    int maxChain;  // candidates examined per position
    int goodLen;   // a previous match this long earns a shorter search
    int niceLen;   // stop searching at a match this long
    int lazyLen;   // do not look for a better match after one this long
    int tooFar3;   // three-byte matches further back cost more than literals
    int blockSymbols;
};

constexpr Tuning tuning(Method m) {
    switch (m) {
        case Method::lh6:
            return {96, 16, 128, 64, 4096, 1 << 15};
        case Method::lh7:
            return {128, 16, 128, 64, 4096, 1 << 15};
        default:
            return {64, 16, 128, 48, 4096, 1 << 15};
    }
}

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Compares up to `limit` bytes; may read a few bytes past them, which the
// buffer's padding allows.
inline int matchLength(const std::uint8_t* a, const std::uint8_t* b, int limit) {
    int n = 0;
    while (n < limit) {
        const std::uint64_t x = load64(a + n) ^ load64(b + n);
        if (x) return std::min(limit, n + (__builtin_ctzll(x) >> 3));
        n += 8;
    }
    return limit;
}

}  // namespace

struct Encoder::State {
    MethodParams mp;
    Tuning tune;
    Sink sink;
    bool failed = false;
    std::uint64_t produced = 0;

    int dictSize, mask, maxDist, hashBits;
    int bufSize;
    std::vector<std::uint8_t> buf;
    std::vector<int> head, prev;
    int cur = 0, end = 0;

    // Lazy-matching state: a match found at cur - 1 still waiting to be
    // compared with the one at cur.
    bool pending = false;
    int prevLen = 0, prevDist = 0;

    std::vector<Token> tokens;
    std::array<std::uint32_t, kNumC> cFreq{};
    std::array<std::uint32_t, 17> pFreq{};
    BitWriter bits;
    std::vector<std::uint8_t> outBytes;

    State(Method m, Sink s) : mp(params(m)), tune(tuning(m)), sink(std::move(s)) {
        assert(m != Method::lh0);
        dictSize = 1 << mp.dictBits;
        mask = dictSize - 1;
        // A distance equal to the whole dictionary would name the very byte a
        // ring-buffer decoder is about to overwrite; stay one short of it.
        maxDist = dictSize - 1;
        hashBits = mp.dictBits >= 15 ? 16 : 15;
        bufSize = 2 * dictSize + (1 << 18);
        buf.assign(bufSize + kLookahead + 16, 0);
        head.assign(std::size_t{1} << hashBits, kNil);
        prev.assign(dictSize, kNil);
        tokens.reserve(tune.blockSymbols);
    }

    std::uint32_t hash(int pos) const {
        return ((load32(&buf[pos]) & 0xFFFFFF) * 2654435761u) >> (32 - hashBits);
    }

    int insert(int pos) {
        const std::uint32_t h = hash(pos);
        const int cand = head[h];
        head[h] = pos;
        prev[pos & mask] = cand;
        return cand;
    }

    // Longest match at `cur` better than `best`, walking the hash chain from `cand`.
    int search(int cand, int maxLen, int best, int* dist) const {
        int chain = prevLen >= tune.goodLen ? tune.maxChain >> 2 : tune.maxChain;
        const int minPos = cur - maxDist;
        const std::uint8_t* s = &buf[cur];
        int found = 0;
        while (cand >= minPos && cand >= 0) {
            const std::uint8_t* m = &buf[cand];
            if (m[best] == s[best] && m[0] == s[0] && m[1] == s[1]) {
                const int len = matchLength(s, m, maxLen);
                if (len > best) {
                    best = len;
                    found = len;
                    *dist = cur - cand;
                    if (len >= tune.niceLen || len >= maxLen) break;
                }
            }
            if (--chain == 0) break;
            const int next = prev[cand & mask];
            if (next >= cand) break;
            cand = next;
        }
        return found;
    }

    void literal(int byte) {
        tokens.push_back(static_cast<Token>(byte));
        ++cFreq[byte];
        if (tokens.size() >= static_cast<std::size_t>(tune.blockSymbols)) flushBlock();
    }

    void match(int len, int dist) {
        const int sym = 256 + len - kMinMatch;
        const std::uint32_t pos = static_cast<std::uint32_t>(dist - 1);
        tokens.push_back(static_cast<Token>(sym) | pos << 16);
        ++cFreq[sym];
        ++pFreq[positionCode(pos)];
        if (tokens.size() >= static_cast<std::size_t>(tune.blockSymbols)) flushBlock();
    }

    void flushBlock() {
        if (tokens.empty()) return;
        writeBlock(bits, tokens, cFreq, std::span<const std::uint32_t>(pFreq).first(mp.numP),
                   mp.pBits);
        tokens.clear();
        cFreq.fill(0);
        pFreq.fill(0);
        emit();
    }

    void emit() {
        bits.takeBytes(outBytes);
        if (outBytes.empty() || failed) return;
        produced += outBytes.size();
        if (!sink(outBytes)) failed = true;
    }

    void parse(bool last) {
        const int limit = last ? end : end - kLookahead;
        while (cur < limit && !failed) {
            const int avail = end - cur;
            const int maxLen = std::min(kMaxMatch, avail);
            int len = 0, dist = 0;
            if (avail >= kMinMatch) {
                const int cand = insert(cur);
                if (prevLen < tune.lazyLen && cand != kNil) {
                    len = search(cand, maxLen, std::max(prevLen, kMinMatch - 1), &dist);
                    if (len == kMinMatch && dist > tune.tooFar3) len = 0;
                }
            }
            if (prevLen >= kMinMatch && len <= prevLen) {
                match(prevLen, prevDist);
                const int stop = cur - 1 + prevLen;
                for (int p = cur + 1; p < stop; ++p)
                    if (p + kMinMatch <= end) insert(p);
                cur = stop;
                pending = false;
                prevLen = 0;
            } else {
                if (pending) literal(buf[cur - 1]);
                pending = true;
                prevLen = len;
                prevDist = dist;
                ++cur;
            }
        }
        if (last && pending) {
            literal(buf[cur - 1]);
            pending = false;
        }
    }

    // Drops history older than the dictionary, by whole dictionary sizes so
    // that chain slots (indexed by position & mask) keep their meaning.
    void slide() {
        const int shift = (cur - dictSize) / dictSize * dictSize;
        if (shift <= 0) return;
        std::memmove(buf.data(), buf.data() + shift, end - shift);
        cur -= shift;
        end -= shift;
        for (int& h : head) h = h >= shift ? h - shift : kNil;
        for (int& p : prev) p = p >= shift ? p - shift : kNil;
    }
};

Encoder::Encoder(Method method, Sink sink) : s_(std::make_unique<State>(method, std::move(sink))) {}
Encoder::~Encoder() = default;

bool Encoder::write(std::span<const std::uint8_t> data) {
    State& s = *s_;
    while (!data.empty() && !s.failed) {
        if (s.end == s.bufSize) s.slide();
        const std::size_t n = std::min<std::size_t>(data.size(), s.bufSize - s.end);
        std::memcpy(&s.buf[s.end], data.data(), n);
        s.end += static_cast<int>(n);
        data = data.subspan(n);
        s.parse(false);
    }
    return !s.failed;
}

bool Encoder::finish() {
    State& s = *s_;
    s.parse(true);
    s.flushBlock();
    s.bits.padToByte();
    s.emit();
    return !s.failed;
}

std::uint64_t Encoder::compressedSize() const {
    return s_->produced;
}

std::vector<std::uint8_t> compress(std::span<const std::uint8_t> data, Method method) {
    std::vector<std::uint8_t> out;
    Encoder enc(method, [&](std::span<const std::uint8_t> b) {
        out.insert(out.end(), b.begin(), b.end());
        return true;
    });
    enc.write(data);
    enc.finish();
    return out;
}

}  // namespace unlha
