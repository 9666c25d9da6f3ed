#include "writing/lha/encoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>

#include "writing/lha/bit_writer.h"
#include "writing/lha/block_coder.h"
#include "writing/lha/huffman.h"

namespace unlha {
namespace {

// Read-ahead the parser keeps past the current position, so that a match of
// the longest length starting one byte back can still be hashed to its end.
constexpr int kLookahead = kMaxMatch + 4;
constexpr int kNil = -1;

constexpr int kChunk = kParseChunk;

struct Tuning {
    int depth;    // tree nodes visited per position
    int niceLen;  // a match this long is taken without searching inside it;
                  // the tree compares no further
    int segmentSymbols;
};

// The same for every method. Deeper walks gain little: most positions find
// their best matches within a few nodes. Blocks grow by segments of 4K
// symbols, as long as a segment costs less in its block than on its own.
constexpr Tuning kTuning{32, 128, 1 << 12};

// The normal level: every position is indexed in two tables, the newest
// position of its first three bytes (the nearest short match) and chains of
// the positions of its first four bytes, newest first (the longer ones).
// The parse takes the best match a search finds unless one a byte or two
// on is better. The same for every method; each figure was measured on the
// benchmark's corpora, where deeper chains still bought a little and
// shallower ones lost more than they saved.
struct LazyTuning {
    int depth;     // chain positions a search compares
    int goodLen;   // a match this long has the next byte's search cut to a quarter
    int niceLen;   // a match this long ends the search
    int twoOnLen;  // a match shorter than this is also weighed against one two bytes on
    int lazyLen;   // a match this long is taken without looking one byte on
    int chainBytes;
};
constexpr LazyTuning kLazy{64, 8, 128, 6, 32, 4};

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

// Four costs at a time: the compilers make vector code of this wherever the
// machine has vectors (SSE2 on every x86-64), which relaxes a match's lengths
// several times faster than one by one.
constexpr int kLanes = 4;
using Lanes = std::uint32_t __attribute__((vector_size(4 * kLanes)));

inline Lanes loadLanes(const std::uint32_t* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storeLanes(std::uint32_t* p, Lanes v) {
    std::memcpy(p, &v, sizeof v);
}

// Bit prices of symbols, taken from the code lengths of the previous block:
// the parser weighs a match against the literals it replaces with them.
struct Prices {
    static constexpr int kScale = 16;  // prices in 1/16 bit
    std::array<int, 256> lit{};
    std::array<std::uint32_t, kMaxMatch + 1 + kLanes> len{};  // padded for whole lanes
    std::array<int, 17> pos{};

    Prices() {
        lit.fill(8 * kScale);
        for (int l = kMinMatch; l <= kMaxMatch; ++l) len[l] = (l < 8 ? 6 : 9) * kScale;
        for (int p = 0; p < 17; ++p) pos[p] = (4 + std::max(0, p - 1)) * kScale;
    }

    void update(const BlockLengths& b, int numP) {
        auto price = [](int length, int unused) { return (length ? length : unused) * kScale; };
        for (int i = 0; i < 256; ++i) lit[i] = price(b.c[i], 12);
        for (int l = kMinMatch; l <= kMaxMatch; ++l)
            len[l] = static_cast<std::uint32_t>(price(b.c[256 + l - kMinMatch], 12));
        for (int p = 0; p < numP; ++p) pos[p] = price(b.p[p], 8) + std::max(0, p - 1) * kScale;
        // What a literal costs on average, weighing each by the share of
        // the bytes its code length implies.
        double bits = 0, share = 0;
        for (int i = 0; i < 256; ++i)
            if (b.c[i]) {
                const double w = std::ldexp(1.0, -b.c[i]);
                bits += w * b.c[i];
                share += w;
            }
        if (share > 0) avgLit = static_cast<int>(bits / share * kScale);
    }
    int avgLit = 8 * kScale;
};

}  // namespace

struct Encoder::State {
    MethodParams mp;
    Level level;
    Tuning tune;
    Sink sink;
    bool failed = false;
    std::uint64_t produced = 0;

    int dictSize, mask, maxDist;
    int bufSize;
    EncoderMemory own;
    EncoderMemory& memory;
    std::vector<std::uint8_t>& buf;
    std::vector<int>& son;       // two children per position, by position & mask
    std::vector<Token>& tokens;  // sized for a block; nTokens are in use
    int* head;
    int cur = 0, end = 0;
    // Positions of the history not yet in the tree: inserted before the first
    // chunk is parsed, once the bytes that follow them are buffered.
    int deferredFrom = 0, deferredTo = 0;
    bool slid = false;
    bool priced = false;  // by a chunk of this stream
    int lazyDepth = kLazy.depth;

    // The open block's symbols are tokens[0, nTokens); its last segment,
    // still open, starts at segStart and has the counts cFreq and pFreq; the
    // counts of the rest are blockC and blockP, which take blockSize bits.
    int nTokens = 0, segStart = 0;
    std::uint64_t blockSize = 0;
    std::array<std::uint32_t, kNumC> cFreq{}, blockC{};
    std::array<std::uint32_t, 17> pFreq{}, blockP{};
    Prices prices;
    BitWriter bits;
    std::vector<std::uint8_t> outBytes;

    // At the max level every position is a node of a binary tree of the
    // positions with the same three-byte hash, ordered by the bytes that
    // follow; walking it from the newest gives the nearest match of each
    // length in a few steps. Two heads per position of the dictionary, in
    // each table: a larger one only costs cache misses.
    int hashBits;

    State(Method m, Level l, Sink s, EncoderMemory* mem)
        : mp(params(m)),
          level(l),
          tune(kTuning),
          sink(std::move(s)),
          memory(mem ? *mem : own),
          buf(memory.window),
          son(memory.son),
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
        hashBits = mp.dictBits + 1;
        chainBits = mp.dictBits + 1;
        const std::size_t kHeads =
            (std::size_t{1} << hashBits) + (level == Level::max ? 0 : std::size_t{1} << chainBits);
        // The heads must hold nothing of an earlier encoder. One of the same
        // kind that never slid its window set only the heads of its own
        // positions, still in the window: clearing those is cheaper than the
        // whole table when files are small.
        const int kind = static_cast<int>(m) * 2 + static_cast<int>(level);
        if (memory.heads.size() == kHeads && memory.kind == kind && memory.used >= 0 &&
            memory.used < static_cast<int>(kHeads / 8)) {
            // Only a table of this size may be offset into: a fresh one is empty.
            head = memory.heads.data();
            headL = head + (std::size_t{1} << hashBits);
            for (int p = 0; p + kMinMatch <= memory.used; ++p) head[hash(p)] = kNil;
            if (level == Level::normal)
                for (int p = 0; p + kLazy.chainBytes <= memory.used; ++p) headL[hashL(p)] = kNil;
        } else {
            memory.heads.assign(kHeads, kNil);
        }
        head = memory.heads.data();
        headL = head + (std::size_t{1} << hashBits);
        memory.used = 0;
        memory.kind = kind;
        // Tree and chain links are only followed from heads set by this encoder.
        son.resize(2 * static_cast<std::size_t>(dictSize));
        tokens.resize(kMaxBlockSymbols);
        if (level == Level::normal) return;
        // A match's lengths are relaxed in whole lanes, up to kLanes - 1 past n.
        memory.cost.resize(kChunk + kLanes);
        memory.step.resize(kChunk + kLanes);
        memory.path.resize(kChunk + 1);
        memory.first.resize(kChunk + 1);
        memory.found.resize(static_cast<std::size_t>(kChunk) * tune.depth);
    }

    ~State() { memory.used = slid ? -1 : end; }

    std::uint32_t hash(int pos) const {
        return ((load32(&buf[pos]) << 8) * 2654435761u) >> (32 - hashBits);
    }
    // The normal level's chains link positions by their first chainBytes.
    int chainBits = 0;
    int* headL = nullptr;
    std::uint32_t hashL(int pos) const {
        return static_cast<std::uint32_t>(
            ((load64(&buf[pos]) << (64 - 8 * kLazy.chainBytes)) * 0x9E3779B97F4A7C15ull) >>
            (64 - chainBits));
    }

    using Match = EncoderMemory::Match;

    // Inserts pos into its tree. With `found`, also lists the nearest match of
    // each length it passes, longest last; returns how many. Only whole bytes
    // before `end` are hashed or compared: what lies past it is stale and
    // would make the output depend on how the input was written.
    int insert(int pos, Match* found) {
        // The tree orders positions by their first niceLen bytes only: two
        // that share them are one node (the newer replaces the older), which
        // bounds each comparison and keeps long repeats from deepening it.
        // A match that reaches niceLen is extended past it afterwards.
        const int most = std::min(kMaxMatch, end - pos);
        const int limit = std::min(tune.niceLen, most);
        if (limit < kMinMatch) return 0;
        const std::uint32_t h = hash(pos);
        int cand = head[h];
        head[h] = pos;
        int* left = &son[2 * static_cast<std::size_t>(pos & mask)];
        int* right = left + 1;
        int leftLen = 0, rightLen = 0, best = kMinMatch - 1, n = 0;
        const int minPos = std::max(0, pos - maxDist);
        const std::uint8_t* s = &buf[pos];
        for (int depth = tune.depth;; --depth) {
            if (cand < minPos || depth == 0) {
                *left = *right = kNil;
                return n;
            }
            const std::uint8_t* m = &buf[cand];
            int* pair = &son[2 * static_cast<std::size_t>(cand & mask)];
            int len = std::min(leftLen, rightLen);
            len += matchLength(s + len, m + len, limit - len);
            if (len > best) {
                best = len;
                if (found) found[n++] = {len, pos - cand};
            }
            if (len == limit) {
                *left = pair[0];
                *right = pair[1];
                if (found && len < most)
                    found[n - 1].len += matchLength(s + len, m + len, most - len);
                return n;
            }
            if (m[len] < s[len]) {
                *left = cand;
                left = &pair[1];
                cand = *left;
                leftLen = len;
            } else {
                *right = cand;
                right = &pair[0];
                cand = *right;
                rightLen = len;
            }
        }
    }

    int positionPrice(int dist) const { return prices.pos[positionCode(dist - 1)]; }

    // The matches of each position of a chunk, found once: offsets into a
    // flat list (a walk adds at most one match per node it visits).
    void search(int n) {
        std::uint32_t* first = memory.first.data();
        Match* all = memory.found.data();
        std::uint32_t used = 0;
        int skipTo = 0;
        for (int i = 0; i < n; ++i) {
            first[i] = used;
            if (i < skipTo) {
                insert(cur + i, nullptr);
                continue;
            }
            const int count = insert(cur + i, all + used);
            used += static_cast<std::uint32_t>(count);
            // A match of niceLen or more is taken as found: the positions it
            // covers are only inserted, which keeps long repeats fast. Only
            // one that ends inside the chunk, since they relax nothing and
            // its end must be reached by it.
            const int longest = count > 0 ? all[used - 1].len : 0;
            if (longest >= tune.niceLen && longest <= n - i) skipTo = i + longest;
        }
        first[n] = used;
    }

    // Lengths from..len of a match from the position whose costs and steps
    // start at cost and step, `far` its price before the length's, `dist`
    // its distance as a step holds it. Lanes past len are left as they were.
    void relax(std::uint32_t* cost, std::uint32_t* step, int from, int len, std::uint32_t far,
               std::uint32_t dist) const {
        const Lanes lane{0, 1, 2, 3};
        const Lanes last = Lanes{} + static_cast<std::uint32_t>(len);
        for (int l = from; l <= len; l += kLanes) {
            const Lanes at = lane + static_cast<std::uint32_t>(l);
            const Lanes c = loadLanes(&prices.len[l]) + far;
            const Lanes old = loadLanes(cost + l);
            const Lanes take = (Lanes)((c < old) & (at <= last));
            storeLanes(cost + l, (c & take) | (old & ~take));
            storeLanes(step + l, ((at | dist) & take) | (loadLanes(step + l) & ~take));
        }
    }

    // The cheapest parse of the chunk's n positions under the current prices:
    // each position relaxes the costs of the positions its literal and its
    // matches reach. Leaves the path's steps, last first, and their count.
    int cheapest(int n) {
        constexpr std::uint32_t kInf = 0xFFFFFFFFu;
        std::uint32_t* cost = memory.cost.data();
        // How each position is best reached: length | distance << 9.
        std::uint32_t* step = memory.step.data();
        const std::uint32_t* first = memory.first.data();
        const Match* all = memory.found.data();
        std::fill_n(cost, n + 1, kInf);
        cost[0] = 0;
        for (int i = 0; i < n; ++i) {
            const std::uint32_t base = cost[i];
            if (base == kInf) continue;  // inside a match taken whole
            const std::uint32_t lit = base + static_cast<std::uint32_t>(prices.lit[buf[cur + i]]);
            if (lit < cost[i + 1]) {
                cost[i + 1] = lit;
                step[i + 1] = 1;
            }
            int from = kMinMatch;
            for (std::uint32_t k = first[i]; k < first[i + 1]; ++k) {
                const int len = std::min(all[k].len, n - i);
                const std::uint32_t far =
                    base + static_cast<std::uint32_t>(positionPrice(all[k].dist));
                relax(cost + i, step + i, from, len, far,
                      static_cast<std::uint32_t>(all[k].dist) << 9);
                from = std::max(from, len + 1);
            }
        }
        int at = n, count = 0;
        std::uint32_t* path = memory.path.data();
        while (at > 0) {
            path[count++] = step[at];
            at -= static_cast<int>(step[at] & 0x1FF);
        }
        return count;
    }

    // Prices from the code lengths the path's own symbols would get, for a
    // stream's first chunk, which has no block before it to price by.
    void priceByPath(int count) {
        std::array<std::uint32_t, kNumC> c{};
        std::array<std::uint32_t, 17> p{};
        const std::uint32_t* path = memory.path.data();
        int pos = cur;
        for (int k = count; k-- > 0;) {
            const int len = static_cast<int>(path[k] & 0x1FF);
            if (len == 1) {
                ++c[buf[pos]];
            } else {
                ++c[256 + len - kMinMatch];
                ++p[positionCode((path[k] >> 9) - 1)];
            }
            pos += len;
        }
        BlockLengths lengths;
        buildLengths(c, kMaxCodeBits, lengths.c);
        buildLengths(std::span<const std::uint32_t>(p).first(mp.numP), kMaxCodeBits,
                     std::span(lengths.p).first(mp.numP));
        prices.update(lengths, mp.numP);
    }

    // Inserts the history positions prime() left out. Parsing starts only
    // with a whole chunk and its look-ahead buffered, or at the end of the
    // data: either way each of them now sees every byte it is compared on.
    void insertDeferred() {
        for (; deferredFrom < deferredTo; ++deferredFrom) insert(deferredFrom, nullptr);
    }

    void parseChunk(int n) {
        insertDeferred();
        search(n);
        int count = cheapest(n);
        // The second parse by the first's prices still moves the symbols
        // enough to gain from a third.
        for (int round = 0; !priced && round < 2; ++round) {
            priceByPath(count);
            count = cheapest(n);
        }
        const std::uint32_t* path = memory.path.data();
        int pos = cur;
        while (count > 0) {
            const std::uint32_t st = path[--count];
            const int len = static_cast<int>(st & 0x1FF);
            if (len == 1)
                literal(buf[pos]);
            else
                match(len, static_cast<int>(st >> 9));
            pos += len;
        }
        cur = pos;
        priced = true;
    }

    // The normal level's chains: prev[pos & mask] is the position before pos
    // with its hash. Positions below `hashed` are in them.
    int hashed = 0;
    // A match found one byte on that the parse took instead of the one
    // before it: it starts at cur.
    Match carried{0, 0};

    // Puts the positions before `to` into the index. A position joins a
    // table only once the bytes it is hashed by there are: at the end of the
    // data the last ones go into the three-byte table alone, or nowhere.
    void indexTo(int to) {
        int* prev = son.data();
        const int chained = std::min(to, end - kLazy.chainBytes + 1);
        for (; hashed < chained; ++hashed) {
            link3(hashed);
            const std::uint32_t h = hashL(hashed);
            prev[hashed & mask] = headL[h];
            headL[h] = hashed;
        }
        for (to = std::min(to, end - kMinMatch + 1); hashed < to; ++hashed) link3(hashed);
    }

    // While a dry run counts symbols, what each position replaced in the
    // three-byte table, by position from undoFrom.
    std::uint32_t* undo3 = nullptr;
    int undoFrom = 0;

    // Makes pos the newest of its three bytes; returns the one before.
    int link3(int pos) {
        const std::uint32_t h = hash(pos);
        const int before = head[h];
        if (undo3) undo3[pos - undoFrom] = static_cast<std::uint32_t>(before);
        head[h] = pos;
        return before;
    }

    // The best match at pos within `depth` chain steps; pos joins the index.
    // Of the matches longer than those before them, the one that saves the
    // most against literals of the average price: a longer one from much
    // further back may cost more than it covers. Compares only bytes before
    // `end`.
    Match search(int pos, int depth) {
        indexTo(pos);
        const int most = std::min(kMaxMatch, end - pos);
        if (most < kMinMatch) return {0, 0};
        int* prev = son.data();
        const int near = link3(pos);
        int cand = kNil;
        if (most >= kLazy.chainBytes) {
            const std::uint32_t h = hashL(pos);
            cand = headL[h];
            prev[pos & mask] = cand;
            headL[h] = pos;
        }
        hashed = pos + 1;
        const int minPos = std::max(0, pos - maxDist);
        const int nice = std::min(kLazy.niceLen, most);
        const std::uint8_t* s = &buf[pos];
        Match best{0, 0};
        int longest = kMinMatch - 1, bestScore = 0;
        auto consider = [&](int len, int from) {
            longest = len;
            const Match found{len, pos - from};
            const int score = len * prices.avgLit - matchPrice(found);
            if (best.len == 0 || score > bestScore) {
                best = found;
                bestScore = score;
            }
        };
        if (near >= minPos) {
            const int len = matchLength(s, &buf[near], most);
            if (len >= kMinMatch) consider(len, near);
        }
        for (; cand >= minPos && depth > 0 && longest < nice; --depth, cand = prev[cand & mask]) {
            const std::uint8_t* m = &buf[cand];
            if (m[longest] != s[longest] || m[0] != s[0]) continue;
            const int len = matchLength(s, m, most);
            if (len > longest) consider(len, cand);
        }
        return best;
    }

    int literalPrice(int pos, int len) const {
        int sum = 0;
        for (int i = 0; i < len; ++i) sum += prices.lit[buf[pos + i]];
        return sum;
    }
    int matchPrice(const Match& m) const {
        return static_cast<int>(prices.len[m.len]) + positionPrice(m.dist);
    }
    // Whether a match at pos codes its bytes in fewer bits than literals
    // would: only short far ones lose.
    bool worthIt(const Match& m, int pos) const {
        return m.len >= 8 || (m.len >= kMinMatch && matchPrice(m) < literalPrice(pos, m.len));
    }
    // Whether `skip` literals from pos and then `next` cost less than `m` at
    // pos, the bytes only one of them covers priced as literals.
    bool better(const Match& next, int skip, const Match& m, int pos) const {
        if (next.len == 0 || !worthIt(next, pos + skip)) return false;
        const int a = matchPrice(m), b = literalPrice(pos, skip) + matchPrice(next);
        const int reach = skip + next.len - m.len;
        if (reach >= 0) return b < a + literalPrice(pos + m.len, reach);
        return b + literalPrice(pos + skip + next.len, -reach) < a;
    }

    // The normal level's parse of n positions from cur, searching `fullDepth`
    // chain positions, each symbol handed to `take(pos, len, dist)` (len 1: a
    // literal); a match may run past them into the look-ahead. Returns where
    // the parse stopped.
    template <typename Take>
    int lazyParse(int n, int fullDepth, Take&& take) {
        const int stop = cur + n;
        int pos = cur;
        while (pos < stop) {
            const Match m = carried.len ? carried : search(pos, fullDepth);
            carried = {0, 0};
            if (!worthIt(m, pos)) {
                take(pos++, 1, 0);
                continue;
            }
            if (m.len < kLazy.lazyLen) {
                const int depth = m.len >= kLazy.goodLen ? fullDepth / 4 : fullDepth;
                int skip = 1;
                Match next = search(pos + 1, depth);
                if (!better(next, 1, m, pos) && m.len < kLazy.twoOnLen) {
                    skip = 2;
                    next = search(pos + 2, depth);
                }
                if (better(next, skip, m, pos)) {
                    for (; skip > 0; --skip) take(pos++, 1, 0);
                    carried = next;
                    continue;
                }
            }
            take(pos, m.len, m.dist);
            pos += m.len;
        }
        return pos;
    }

    // A stream's first chunk has no block before it to price by: it is
    // parsed once under the default prices, only to count its symbols, and
    // the chains are then put back as they were. Shallow searches count
    // nearly the same symbols. The count covers fewer
    // positions than a dictionary, so that no chain slot is written twice.
    void priceByDryRun(int n) {
        n = std::min(n, dictSize - kLookahead - 2);
        if (n <= 0) return;
        int* prev = son.data();
        const int from = hashed, reach = n + kLookahead;
        std::vector<std::uint32_t>& saved = memory.first;
        saved.resize(2 * static_cast<std::size_t>(reach));
        for (int p = from; p < from + reach; ++p)
            saved[p - from] = static_cast<std::uint32_t>(prev[p & mask]);
        undo3 = saved.data() + reach;
        undoFrom = from;
        std::array<std::uint32_t, kNumC> c{};
        std::array<std::uint32_t, 17> pc{};
        lazyParse(n, kLazy.depth / 8, [&](int pos, int len, int dist) {
            if (len == 1) return void(++c[buf[pos]]);
            ++c[256 + len - kMinMatch];
            ++pc[positionCode(static_cast<std::uint32_t>(dist - 1))];
        });
        carried = {0, 0};
        undo3 = nullptr;
        for (int p = hashed; p-- > from;) {
            head[hash(p)] = static_cast<int>(saved[reach + (p - from)]);
            if (p + kLazy.chainBytes <= end) headL[hashL(p)] = prev[p & mask];
        }
        for (int p = from; p < from + reach; ++p)
            prev[p & mask] = static_cast<int>(saved[p - from]);
        hashed = from;
        BlockLengths lengths;
        buildLengths(c, kMaxCodeBits, lengths.c);
        buildLengths(std::span<const std::uint32_t>(pc).first(mp.numP), kMaxCodeBits,
                     std::span(lengths.p).first(mp.numP));
        prices.update(lengths, mp.numP);
    }

    void parseLazy(int n) {
        if (!priced && lazyDepth == kLazy.depth) {
            indexTo(cur);
            priceByDryRun(n);
            priced = true;
        }
        cur = lazyParse(n, lazyDepth, [this](int pos, int len, int dist) {
            if (len == 1)
                literal(buf[pos]);
            else
                match(len, dist);
        });
    }

    void literal(int byte) {
        tokens[nTokens++] = static_cast<Token>(byte);
        ++cFreq[byte];
        if (nTokens - segStart == tune.segmentSymbols) endSegment();
    }

    void match(int len, int dist) {
        const int sym = 256 + len - kMinMatch;
        const std::uint32_t pos = static_cast<std::uint32_t>(dist - 1);
        tokens[nTokens++] = static_cast<Token>(sym) | pos << 16;
        ++cFreq[sym];
        ++pFreq[positionCode(pos)];
        if (nTokens - segStart == tune.segmentSymbols) endSegment();
    }

    std::uint64_t bitsOf(std::span<const std::uint32_t> c, std::span<const std::uint32_t> p,
                         BlockLengths* lengths = nullptr) const {
        return blockBits(c, p.first(mp.numP), mp.pBits, lengths);
    }

    // The open segment joins the block before it unless the two cost less
    // apart; then that block is written and the segment starts the next. The
    // parser is priced by the open block from here on, unless `closing`: no
    // symbol follows.
    void endSegment(bool closing = false) {
        if (nTokens == segStart) return;
        std::array<std::uint32_t, kNumC> c;
        std::array<std::uint32_t, 17> p;
        for (int i = 0; i < kNumC; ++i) c[i] = blockC[i] + cFreq[i];
        for (int i = 0; i < 17; ++i) p[i] = blockP[i] + pFreq[i];
        BlockLengths lengths;
        if (segStart > 0) {
            BlockLengths alone;
            const std::uint64_t together = bitsOf(c, p, &lengths);
            const std::uint64_t single = bitsOf(cFreq, pFreq, &alone);
            if (blockSize + single < together) {
                writeOpenBlock(segStart, false);
                c = cFreq;
                p = pFreq;
                lengths = alone;
                blockSize = single;
            } else {
                blockSize = together;
            }
        } else if (!closing) {
            blockSize = bitsOf(c, p, &lengths);
        }
        blockC = c;
        blockP = p;
        cFreq.fill(0);
        pFreq.fill(0);
        segStart = nTokens;
        if (!closing) prices.update(lengths, mp.numP);
        // A block counts its symbols in 16 bits.
        if (nTokens + tune.segmentSymbols > kMaxBlockSymbols) writeOpenBlock(nTokens, false);
    }

    // Writes the open block's first n symbols, whose counts are blockC and
    // blockP, as a block; the rest (the open segment) moves to the front.
    void writeOpenBlock(int n, bool last) {
        if (n == 0) return;
        writeBlock(bits, std::span<const Token>(tokens).first(n), blockC,
                   std::span<const std::uint32_t>(blockP).first(mp.numP), mp.pBits, last);
        std::copy(tokens.begin() + n, tokens.begin() + nTokens, tokens.begin());
        nTokens -= n;
        segStart -= n;
        blockC.fill(0);
        blockP.fill(0);
        emit();
    }

    void flushBlock(bool last = false) {
        endSegment(true);
        writeOpenBlock(nTokens, last);
    }

    void emit() {
        bits.takeBytes(outBytes);
        if (outBytes.empty() || failed) return;
#ifdef UNLHA_FLIP_ENCODED_BIT
        // A test build of the library only: one wrong bit in what each
        // encoder puts out first, the damage the writer's check must catch.
        if (produced == 0) outBytes[outBytes.size() / 2] ^= 0x10;
#endif
        produced += outBytes.size();
        if (!sink(outBytes)) failed = true;
    }

    // Chunks start only when a whole chunk (and the look-ahead) is buffered,
    // so output never depends on how the input was split into writes.
    void parse(bool last) {
        while (!failed) {
            const int avail = end - cur;
            if (!last && avail < kChunk + kLookahead) break;
            if (avail == 0) break;
            if (level == Level::max)
                parseChunk(std::min(kChunk, avail));
            else
                parseLazy(std::min(kChunk, avail));
        }
    }

    // Drops history older than the dictionary, by whole dictionary sizes so
    // that tree slots (indexed by position & mask) keep their meaning.
    void slide() {
        const int shift = (cur - dictSize) / dictSize * dictSize;
        if (shift <= 0) return;
        std::memmove(buf.data(), buf.data() + shift, end - shift);
        cur -= shift;
        end -= shift;
        hashed = std::max(0, hashed - shift);
        slid = true;
        auto rebase = [shift](std::span<int> v) {
            for (int& x : v) x = x >= shift ? x - shift : kNil;
        };
        rebase(memory.heads);
        rebase(son);
    }
};

Encoder::Encoder(Method method, Level level, Sink sink, EncoderMemory* memory)
    : s_(std::make_unique<State>(method, level, std::move(sink), memory)) {}
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
    // The normal level's index takes the history when the parse starts,
    // with the data.
    if (s.level == Level::max) {
        // A node is ordered by its first niceLen bytes, and a walk trusts the
        // prefix its neighbours share with it. A position nearer the end of
        // the history than that would be ordered by the bytes it has, and
        // walks from the data would then count bytes it never compared as
        // matching: those positions wait for the data (insertDeferred).
        const int whole = std::max(0, s.end - s.tune.niceLen + 1);
        for (int p = 0; p < whole; ++p) s.insert(p, nullptr);
        s.deferredFrom = whole;
        s.deferredTo = s.end;
    }
    s.cur = s.end;
}

void Encoder::quick() {
    s_->lazyDepth = kLazy.depth / 8;
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

std::vector<std::uint8_t> compress(std::span<const std::uint8_t> data, Method method, Level level) {
    std::vector<std::uint8_t> out;
    Encoder enc(method, level, [&](std::span<const std::uint8_t> b) {
        out.insert(out.end(), b.begin(), b.end());
        return true;
    });
    enc.write(data);
    enc.finish();
    return out;
}

}  // namespace unlha
