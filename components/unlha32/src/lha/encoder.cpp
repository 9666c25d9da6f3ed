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
constexpr int kLookahead = kMaxMatch + 4;
constexpr int kNil = -1;

struct Tuning {
    int maxChain;  // candidates examined per position
    int goodLen;   // a previous match this long earns a shorter search
    int niceLen;   // stop searching at a match this long
    int lazyLen;   // do not look for a better match after one this long
    int blockSymbols;
};

Tuning tuning(Method m) {
    switch (m) {
        case Method::lh6:
            return {48, 16, 128, 64, 1 << 15};
        case Method::lh7:
            return {64, 16, 128, 64, 1 << 15};
        default:
            return {32, 16, 128, 48, 1 << 15};
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

// Bit prices of symbols, taken from the code lengths of the previous block:
// the parser weighs a match against the literals it replaces with them.
struct Prices {
    static constexpr int kScale = 16;  // prices in 1/16 bit
    std::array<int, 256> lit{};
    std::array<int, kMaxMatch + 1> len{};
    std::array<int, 17> pos{};
    int avgLit = 8 * kScale;

    Prices() {
        lit.fill(8 * kScale);
        for (int l = kMinMatch; l <= kMaxMatch; ++l) len[l] = (l < 8 ? 6 : 9) * kScale;
        for (int p = 0; p < 17; ++p) pos[p] = (4 + std::max(0, p - 1)) * kScale;
    }

    void update(const BlockLengths& b, std::span<const std::uint32_t> cFreq, int numP) {
        auto price = [](int bits, int unused) { return (bits ? bits : unused) * kScale; };
        std::uint64_t sum = 0, count = 0;
        for (int i = 0; i < 256; ++i) {
            lit[i] = price(b.c[i], 12);
            sum += std::uint64_t{cFreq[i]} * lit[i];
            count += cFreq[i];
        }
        if (count) avgLit = static_cast<int>(sum / count);
        for (int l = kMinMatch; l <= kMaxMatch; ++l) len[l] = price(b.c[256 + l - kMinMatch], 12);
        for (int p = 0; p < numP; ++p) pos[p] = price(b.p[p], 8) + std::max(0, p - 1) * kScale;
    }

    int match(int l, int dist) const { return len[l] + pos[positionCode(dist - 1)]; }
};

}  // namespace

struct Encoder::State {
    MethodParams mp;
    Tuning tune;
    Sink sink;
    bool failed = false;
    std::uint64_t produced = 0;

    int dictSize, mask, maxDist;
    int bufSize;
    std::vector<std::uint8_t> buf;
    // Chains link positions with the same four-byte hash; three-byte matches
    // only come from the most recent position with the same three bytes (the
    // nearest is the only one worth its price).
    std::vector<int> head4, head3, prev;
    int cur = 0, end = 0;

    // Lazy-matching state: a match found at cur - 1 still waiting to be
    // compared with the one at cur.
    bool pending = false;
    int prevLen = 0, prevDist = 0, prevGain = 0;

    std::vector<Token> tokens;
    std::array<std::uint32_t, kNumC> cFreq{};
    std::array<std::uint32_t, 17> pFreq{};
    Prices prices;
    BitWriter bits;
    std::vector<std::uint8_t> outBytes;

    static constexpr int kHash4Bits = 16;
    static constexpr int kHash3Bits = 14;

    State(Method m, Sink s) : mp(params(m)), tune(tuning(m)), sink(std::move(s)) {
        assert(m != Method::lh0);
        dictSize = 1 << mp.dictBits;
        mask = dictSize - 1;
        // A distance equal to the whole dictionary would name the very byte a
        // ring-buffer decoder is about to overwrite; stay one short of it.
        maxDist = dictSize - 1;
        bufSize = 2 * dictSize + (1 << 18);
        buf.assign(bufSize + kLookahead + 16, 0);
        head4.assign(std::size_t{1} << kHash4Bits, kNil);
        head3.assign(std::size_t{1} << kHash3Bits, kNil);
        prev.assign(dictSize, kNil);
        tokens.reserve(tune.blockSymbols);
    }

    std::uint32_t hash4(int pos) const {
        return (load32(&buf[pos]) * 2654435761u) >> (32 - kHash4Bits);
    }
    std::uint32_t hash3(int pos) const {
        return ((load32(&buf[pos]) << 8) * 2654435761u) >> (32 - kHash3Bits);
    }

    // Callers guarantee four readable bytes (the buffer is padded); a hash
    // over bytes past `end` only costs a missed match near the very end.
    void insert(int pos, int* cand4, int* cand3) {
        const std::uint32_t h4 = hash4(pos), h3 = hash3(pos);
        *cand4 = head4[h4];
        *cand3 = head3[h3];
        head4[h4] = pos;
        head3[h3] = pos;
        prev[pos & mask] = *cand4;
    }

    void insert(int pos) {
        int c4, c3;
        insert(pos, &c4, &c3);
    }

    // Bits saved by coding [cur, cur+len) as a match instead of literals.
    int gain(int len, int dist) const {
        int lits = 0;
        if (len <= 4) {
            for (int i = 0; i < len; ++i) lits += prices.lit[buf[cur + i]];
        } else {
            lits = len * prices.avgLit;
        }
        return lits - prices.match(len, dist);
    }

    // Most profitable match at `cur`, walking the four-byte chain from cand4
    // and trying the nearest three-byte candidate.
    int search(int cand4, int cand3, int maxLen, int* dist, int* bestGain) const {
        const int minPos = cur - maxDist;
        const std::uint8_t* s = &buf[cur];
        int bestLen = kMinMatch - 1, found = 0;
        *bestGain = 0;
        if (cand3 >= minPos && cand3 >= 0 && maxLen >= kMinMatch) {
            const int len = matchLength(s, &buf[cand3], maxLen);
            if (len >= kMinMatch) {
                const int g = gain(len, cur - cand3);
                bestLen = len;
                if (g > 0) {
                    found = len;
                    *dist = cur - cand3;
                    *bestGain = g;
                }
            }
        }
        int chain = prevLen >= tune.goodLen ? tune.maxChain >> 2 : tune.maxChain;
        int cand = cand4;
        while (cand >= minPos && cand >= 0 && bestLen < maxLen) {
            const std::uint8_t* m = &buf[cand];
            if (m[bestLen] == s[bestLen] && load32(m) == load32(s)) {
                const int len = matchLength(s, m, maxLen);
                if (len > bestLen) {
                    const int g = gain(len, cur - cand);
                    bestLen = len;
                    if (g > *bestGain) {
                        found = len;
                        *dist = cur - cand;
                        *bestGain = g;
                    }
                    if (len >= tune.niceLen) break;
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

    void flushBlock(bool last = false) {
        if (tokens.empty()) return;
        BlockLengths lengths;
        writeBlock(bits, tokens, cFreq, std::span<const std::uint32_t>(pFreq).first(mp.numP),
                   mp.pBits, last, &lengths);
        prices.update(lengths, cFreq, mp.numP);
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
            int len = 0, dist = 0, g = 0;
            if (avail >= kMinMatch) {
                int cand4, cand3;
                insert(cur, &cand4, &cand3);
                if (prevLen < tune.lazyLen) len = search(cand4, cand3, maxLen, &dist, &g);
            }
            if (prevLen >= kMinMatch && (len == 0 || g <= prevGain)) {
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
                prevGain = g;
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
        auto rebase = [shift](std::vector<int>& v) {
            for (int& x : v) x = x >= shift ? x - shift : kNil;
        };
        rebase(head4);
        rebase(head3);
        rebase(prev);
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
    s.flushBlock(true);
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
