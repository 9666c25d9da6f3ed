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

// Optimal parsing works on chunks of this many positions: long enough that
// few matches are cut at a chunk end, short enough to keep the tables in cache.
constexpr int kChunk = 4096;
constexpr int kMaxCandidates = 24;

struct Tuning {
    int maxChain;  // chain positions examined per position
    int niceLen;   // a match this long is taken without looking inside it
    int blockSymbols;
};

Tuning tuning(Method m) {
    switch (m) {
        case Method::lh6:
        case Method::lh7:
            return {16, 48, 1 << 15};
        default:
            return {12, 48, 1 << 15};
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

    Prices() {
        lit.fill(8 * kScale);
        for (int l = kMinMatch; l <= kMaxMatch; ++l) len[l] = (l < 8 ? 6 : 9) * kScale;
        for (int p = 0; p < 17; ++p) pos[p] = (4 + std::max(0, p - 1)) * kScale;
    }

    void update(const BlockLengths& b, int numP) {
        auto price = [](int bits, int unused) { return (bits ? bits : unused) * kScale; };
        for (int i = 0; i < 256; ++i) lit[i] = price(b.c[i], 12);
        for (int l = kMinMatch; l <= kMaxMatch; ++l) len[l] = price(b.c[256 + l - kMinMatch], 12);
        for (int p = 0; p < numP; ++p) pos[p] = price(b.p[p], 8) + std::max(0, p - 1) * kScale;
    }
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

    std::vector<std::uint32_t> price;
    std::vector<std::uint16_t> fromLen;
    std::vector<int> fromDist, path;

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
        price.resize(kChunk + 1);
        fromLen.resize(kChunk + 1);
        fromDist.resize(kChunk + 1);
        path.reserve(kChunk);
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

    struct Candidate {
        int len, dist;
    };

    // Matches at `pos` of strictly increasing length (and distance): the
    // nearest three-byte one, then whatever the four-byte chain improves on.
    int findMatches(int pos, int cand4, int cand3, int maxLen, Candidate* out) const {
        const int minPos = pos - maxDist;
        const std::uint8_t* s = &buf[pos];
        int n = 0, bestLen = kMinMatch - 1;
        if (cand3 >= minPos && cand3 >= 0) {
            const int len = matchLength(s, &buf[cand3], maxLen);
            if (len >= kMinMatch) {
                out[n++] = {len, pos - cand3};
                bestLen = len;
            }
        }
        int chain = tune.maxChain;
        for (int cand = cand4; cand >= minPos && cand >= 0 && bestLen < maxLen;) {
            const std::uint8_t* m = &buf[cand];
            if (m[bestLen] == s[bestLen] && load32(m) == load32(s)) {
                const int len = matchLength(s, m, maxLen);
                if (len > bestLen) {
                    bestLen = len;
                    if (n == kMaxCandidates) --n;
                    out[n++] = {len, pos - cand};
                    if (len >= tune.niceLen) break;
                }
            }
            if (--chain == 0) break;
            const int next = prev[cand & mask];
            if (next >= cand) break;
            cand = next;
        }
        return n;
    }

    // Cheapest coding of [cur, cur + n) under the current prices, found by a
    // shortest-path pass over the positions; matches stop at the chunk end.
    void parseChunk(int n) {
        constexpr std::uint32_t kInf = 0xFFFFFFFF;
        std::fill(price.begin(), price.begin() + n + 1, kInf);
        price[0] = 0;
        Candidate cands[kMaxCandidates];
        for (int i = 0; i < n; ++i) {
            const int pos = cur + i;
            int cand4 = kNil, cand3 = kNil;
            if (pos + 4 <= end) insert(pos, &cand4, &cand3);
            const std::uint32_t base = price[i];
            const std::uint32_t lit = base + prices.lit[buf[pos]];
            if (lit < price[i + 1]) {
                price[i + 1] = lit;
                fromLen[i + 1] = 1;
            }
            const int maxLen = std::min(kMaxMatch, n - i);
            if (maxLen < kMinMatch) continue;
            const int found = findMatches(pos, cand4, cand3, maxLen, cands);
            int l = kMinMatch;
            for (int k = 0; k < found; ++k) {
                const int posPrice = prices.pos[positionCode(cands[k].dist - 1)];
                for (; l <= cands[k].len; ++l) {
                    const std::uint32_t p = base + posPrice + prices.len[l];
                    if (p < price[i + l]) {
                        price[i + l] = p;
                        fromLen[i + l] = static_cast<std::uint16_t>(l);
                        fromDist[i + l] = cands[k].dist;
                    }
                }
            }
            if (found && cands[found - 1].len >= tune.niceLen) {
                // Inside a long match nothing cheaper is likely; only index it.
                const int skip = cands[found - 1].len;
                for (int j = 1; j < skip; ++j)
                    if (pos + j + 4 <= end) insert(pos + j);
                i += skip - 1;
            }
        }
        int at = n;
        path.clear();
        while (at > 0) {
            path.push_back(at);
            at -= fromLen[at];
        }
        int start = 0;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            const int stop = *it;
            if (stop - start == 1)
                literal(buf[cur + start]);
            else
                match(stop - start, fromDist[stop]);
            start = stop;
        }
        cur += n;
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
        prices.update(lengths, mp.numP);
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

    // Chunks start at fixed offsets and only when a whole chunk (and the
    // look-ahead) is buffered, so output never depends on how the input was
    // split into writes.
    void parse(bool last) {
        while (!failed) {
            const int avail = end - cur;
            if (!last && avail < kChunk + kLookahead) break;
            if (avail == 0) break;
            parseChunk(std::min(kChunk, avail));
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

void Encoder::prime(std::span<const std::uint8_t> history) {
    State& s = *s_;
    assert(s.end == 0 && history.size() <= static_cast<std::size_t>(s.dictSize));
    std::memcpy(s.buf.data(), history.data(), history.size());
    s.end = static_cast<int>(history.size());
    for (int p = 0; p + 4 <= s.end; ++p) s.insert(p);
    s.cur = s.end;
}

bool Encoder::finishSegment(bool last, std::uint32_t* tail, int* tailBits) {
    State& s = *s_;
    s.parse(true);
    s.flushBlock(last);
    s.emit();
    *tail = s.bits.pendingValue();
    *tailBits = s.bits.pendingCount();
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
