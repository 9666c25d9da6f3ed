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

// The parser takes the input in chunks of this many positions, each started
// only once the chunk and its look-ahead are buffered.
constexpr int kChunk = 4096;

struct Tuning {
    int maxChain;  // chain positions examined per search
    int niceLen;   // a match this long ends the search
    int lazyLen;   // a match this long is taken without trying the next byte
    int goodLen;   // past this, the next byte gets a quarter of the search
    int lazy2Len;  // a match shorter than this is also tried two bytes on
    int indexLen;  // interior positions of longer matches are only partly indexed
    int blockSymbols;
};

// The larger dictionaries walk shorter chains: their candidates are spread
// over more memory, and each step costs more cache misses. Blocks
// of 16K symbols follow changes in the data better than longer ones.
Tuning tuning(Method m) {
    switch (m) {
        case Method::lh6:
        case Method::lh7:
            return {12, 48, 32, 8, 6, 32, 1 << 14};
        default:
            return {16, 48, 32, 8, 6, 32, 1 << 14};
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

    void update(const BlockLengths& b, int numP, std::span<const std::uint32_t> cFreq) {
        std::uint64_t bits = 0, count = 0;
        for (int i = 0; i < 256; ++i) {
            bits += std::uint64_t{cFreq[i]} * b.c[i];
            count += cFreq[i];
        }
        if (count) avgLit = static_cast<int>(bits * kScale / count);
        auto price = [](int length, int unused) { return (length ? length : unused) * kScale; };
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
    EncoderMemory own;
    EncoderMemory& memory;
    std::vector<std::uint8_t>& buf;
    std::vector<int>& prev;
    std::vector<Token>& tokens;  // sized for a block; nTokens are in use
    // Both hash heads share one allocation.
    int* headC;
    int* head3;
    int cur = 0, end = 0;

    int nTokens = 0;
    std::array<std::uint32_t, kNumC> cFreq{};
    std::array<std::uint32_t, 17> pFreq{};
    Prices prices;
    BitWriter bits;
    std::vector<std::uint8_t> outBytes;

    static constexpr int kHash3Bits = 14;
    static constexpr int kChainBits = 16;
    // The chain links positions with the same six bytes: walking it finds long
    // matches in few steps. Shorter ones come from the most recent position
    // with the same three bytes; a far short match seldom pays for itself, and
    // a second table for four bytes cost more time than it saved bits.
    static constexpr int kChainBytes = 6;

    State(Method m, Sink s, EncoderMemory* mem)
        : mp(params(m)),
          tune(tuning(m)),
          sink(std::move(s)),
          memory(mem ? *mem : own),
          buf(memory.window),
          prev(memory.prev),
          tokens(memory.tokens) {
        assert(m != Method::lh0);
        dictSize = 1 << mp.dictBits;
        mask = dictSize - 1;
        // A distance equal to the whole dictionary would name the very byte a
        // ring-buffer decoder is about to overwrite; stay one short of it.
        maxDist = dictSize - 1;
        bufSize = 2 * dictSize + (1 << 20);
        // Bytes past `end` are never part of a match or a hash, so whatever
        // an earlier encoder left in the window does not matter.
        buf.resize(bufSize + kLookahead + 16);
        constexpr int kHeads = (1 << kChainBits) + (1 << kHash3Bits);
        memory.heads.assign(kHeads, kNil);
        headC = memory.heads.data();
        head3 = headC + (1 << kChainBits);
        // Chain links are only followed from heads set by this encoder.
        prev.resize(dictSize);
        tokens.resize(tune.blockSymbols);
    }

    std::uint32_t hashChain(int pos) const {
        constexpr int shift = 64 - 8 * kChainBytes;
        return static_cast<std::uint32_t>(((load64(&buf[pos]) << shift) * 0x9E3779B97F4A7C15ull) >>
                                          (64 - kChainBits));
    }
    std::uint32_t hash3(int pos) const {
        return ((load32(&buf[pos]) << 8) * 2654435761u) >> (32 - kHash3Bits);
    }

    struct Heads {
        int chain = kNil, three = kNil;
    };

    // Hashes only whole bytes before `end`: what lies past it is stale and
    // would make the output depend on how the input was written.
    Heads insert(int pos) {
        Heads h;
        if (pos + 4 > end) return h;
        const std::uint32_t h3 = hash3(pos);
        h.three = head3[h3];
        head3[h3] = pos;
        if (pos + kChainBytes <= end) {
            const std::uint32_t hc = hashChain(pos);
            h.chain = headC[hc];
            headC[hc] = pos;
            prev[pos & mask] = h.chain;
        }
        return h;
    }

    struct Match {
        int len = 0, dist = 0;
    };
    Match carried;
    bool haveCarried = false;

    // Best match at `pos` (inserting it): the nearest three-byte one, then
    // whatever the chain improves on. Only a longer match replaces
    // the best, and only if it saves more bits; ties keep the nearer.
    Match search(int pos, int chainLimit) {
        const int maxLen = std::min(kMaxMatch, end - pos);
        if (maxLen < kMinMatch) return {};
        const Heads h = insert(pos);
        const int cand3 = h.three;
        const int minPos = pos - maxDist;
        const std::uint8_t* s = &buf[pos];
        Match best;
        int bestLen = kMinMatch - 1;
        if (cand3 >= minPos && cand3 >= 0) {
            const int len = matchLength(s, &buf[cand3], maxLen);
            if (len >= kMinMatch) best = {bestLen = len, pos - cand3};
        }
        const std::uint32_t head = load32(s);
        int bestScore = best.len ? score(best) : 0;
        int chain = chainLimit;
        for (int cand = h.chain; cand >= minPos && cand >= 0 && bestLen < maxLen;) {
            const std::uint8_t* m = &buf[cand];
            if (m[bestLen] == s[bestLen] && load32(m) == head) {
                const int len = matchLength(s, m, maxLen);
                if (len > bestLen) {
                    bestLen = len;
                    const Match found{len, pos - cand};
                    const int sc = score(found);
                    if (sc > bestScore || !best.len) {
                        best = found;
                        bestScore = sc;
                    }
                    if (len >= tune.niceLen) break;
                }
            }
            if (--chain == 0) break;
            const int next = prev[cand & mask];
            if (next >= cand) break;
            cand = next;
        }
        return best;
    }

    // Under the prices of the last block, whether a match codes its bytes in
    // fewer bits than literals would; only short far matches ever lose.
    int matchPrice(const Match& m) const {
        return prices.len[m.len] + prices.pos[positionCode(m.dist - 1)];
    }
    // Bits saved against literals of the average price: longer is not better
    // when the extra byte costs more distance bits than it saves.
    int score(const Match& m) const { return m.len * prices.avgLit - matchPrice(m); }
    bool worthIt(const Match& m, int pos) const {
        if (m.len < kMinMatch) return false;
        if (m.len >= 8) return true;
        int lits = 0;
        for (int i = 0; i < m.len; ++i) lits += prices.lit[buf[pos + i]];
        return matchPrice(m) < lits;
    }

    // Lazy matching: a match is deferred by one byte when the next position
    // starts a better one. Matches may run past the chunk into the
    // look-ahead; `carried` holds a match already found at `cur`.
    void parseChunk(int n) {
        const int stop = cur + n;
        int pos = cur;
        while (pos < stop) {
            Match m = haveCarried ? carried : search(pos, tune.maxChain);
            haveCarried = false;
            if (!worthIt(m, pos)) {
                literal(buf[pos]);
                ++pos;
                continue;
            }
            if (m.len < tune.lazyLen && pos + 1 < end) {
                const Match next =
                    search(pos + 1, m.len >= tune.goodLen ? tune.maxChain / 4 : tune.maxChain);
                if (next.len > m.len && score(next) > score(m) && worthIt(next, pos + 1)) {
                    literal(buf[pos]);
                    ++pos;
                    carried = next;
                    haveCarried = true;
                    continue;
                }
                int indexed = pos + 2;
                if (m.len < tune.lazy2Len && pos + 2 < end) {
                    const Match next2 = search(pos + 2, tune.maxChain);
                    ++indexed;
                    if (next2.len > m.len && score(next2) > score(m) && worthIt(next2, pos + 2)) {
                        literal(buf[pos]);
                        literal(buf[pos + 1]);
                        pos += 2;
                        carried = next2;
                        haveCarried = true;
                        continue;
                    }
                }
                match(m.len, m.dist);
                indexRange(indexed, pos + m.len);
            } else {
                match(m.len, m.dist);
                indexRange(pos + 1, pos + m.len);
            }
            pos += m.len;
        }
        cur = pos;
    }

    // Positions inside a match are only indexed, never searched.
    void indexRange(int from, int to) {
        if (to - from > tune.indexLen) {
            for (int p = from; p < from + 4; ++p) insert(p);
            from = to - 4;
        }
        for (int p = from; p < to; ++p) insert(p);
    }

    void literal(int byte) {
        tokens[nTokens++] = static_cast<Token>(byte);
        ++cFreq[byte];
        if (nTokens == tune.blockSymbols) flushBlock();
    }

    void match(int len, int dist) {
        const int sym = 256 + len - kMinMatch;
        const std::uint32_t pos = static_cast<std::uint32_t>(dist - 1);
        tokens[nTokens++] = static_cast<Token>(sym) | pos << 16;
        ++cFreq[sym];
        ++pFreq[positionCode(pos)];
        if (nTokens == tune.blockSymbols) flushBlock();
    }

    void flushBlock(bool last = false) {
        if (nTokens == 0) return;
        BlockLengths lengths;
        writeBlock(bits, std::span<const Token>(tokens).first(nTokens), cFreq,
                   std::span<const std::uint32_t>(pFreq).first(mp.numP), mp.pBits, last, &lengths);
        prices.update(lengths, mp.numP, cFreq);
        nTokens = 0;
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
        auto rebase = [shift](std::span<int> v) {
            for (int& x : v) x = x >= shift ? x - shift : kNil;
        };
        rebase(memory.heads);
        rebase(prev);
    }
};

Encoder::Encoder(Method method, Sink sink, EncoderMemory* memory)
    : s_(std::make_unique<State>(method, std::move(sink), memory)) {}
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
    for (int p = 0; p < s.end; ++p) s.insert(p);
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
