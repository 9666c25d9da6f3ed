#include "writing/lha/block_coder.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "writing/lha/huffman.h"

namespace unlha {
namespace {

// Zero runs in the literal/length lengths use three code-length symbols:
// 0 = one zero, 1 = 3..18 zeros (4 more bits), 2 = 20..531 zeros (9 more
// bits); other lengths k are symbol k + 2.
struct CLenStep {
    std::uint8_t sym, extraBits;
    std::uint16_t extra;
};

// At most one step per length, without allocating: blocks are sized often.
class CLenPlan {
public:
    void clear() { size_ = 0; }
    void push_back(CLenStep step) {
        assert(size_ < kNumC);
        steps_[size_++] = step;
    }
    std::size_t size() const { return size_; }
    CLenStep* begin() { return steps_.data(); }
    CLenStep* end() { return steps_.data() + size_; }
    const CLenStep* begin() const { return steps_.data(); }
    const CLenStep* end() const { return steps_.data() + size_; }

private:
    std::array<CLenStep, kNumC> steps_;
    std::size_t size_ = 0;
};

// r zeros as one symbol: r is 1, 3..18 or 20..531.
CLenStep zeros(int r) {
    if (r == 1) return {0, 0, 0};
    if (r <= 18) return {1, 4, static_cast<std::uint16_t>(r - 3)};
    return {2, kCBits, static_cast<std::uint16_t>(r - 20)};
}

// The first n lengths as code-length symbols, each zero run as `split(run,
// plan)` appends it; false when it cannot.
template <typename Split>
bool planLengths(std::span<const std::uint8_t> cLens, int n, CLenPlan& plan, Split&& split) {
    plan.clear();
    int i = 0;
    while (i < n) {
        const int k = cLens[i++];
        if (k != 0) {
            plan.push_back({static_cast<std::uint8_t>(k + 2), 0, 0});
            continue;
        }
        int run = 1;
        while (i < n && cLens[i] == 0) {
            ++i;
            ++run;
        }
        if (!split(run, plan)) return false;
    }
    return true;
}

// The fixed form: a run of 3..18 or 20 or more is one run symbol.
void planFixed(std::span<const std::uint8_t> cLens, int n, CLenPlan& plan) {
    planLengths(cLens, n, plan, [](int run, CLenPlan& steps) {
        if (run == 2 || run == 19) steps.push_back(zeros(1));
        steps.push_back(zeros(run == 2 ? 1 : run == 19 ? 18 : run));
        return true;
    });
}

// The same lengths with each zero run split into the cheapest mix of the
// three zero symbols under the code lengths `tLens`, in which a symbol of
// length 0 is not available. (Every other length has a symbol: the tables
// are built from plans that hold them all.) False when a run needs one.
bool planCheapest(std::span<const std::uint8_t> cLens, int n, std::span<const std::uint8_t> tLens,
                  CLenPlan& plan) {
    constexpr int kNo = 1 << 20;
    auto bits = [&](int sym) { return tLens[sym] ? tLens[sym] : kNo; };
    const int zero = bits(0), shortRun = bits(1) + 4, longRun = bits(2) + kCBits;
    // best[j]: the fewest bits for the first j zeros of a run; take[j]: the
    // zeros its last symbol covers. A run is shorter than the 531 zeros of the
    // longest symbol, so any j - 20 or fewer zeros can precede one.
    std::array<int, kNumC + 1> best{};
    std::array<std::uint16_t, kNumC + 1> take{};
    static_assert(kNumC <= 20 + 511);
    // The prefixes a short run symbol (3 to 18 zeros) can follow, j - 18 to
    // j - 3, cheapest first: each later one is cheaper than those before it,
    // and of equal ones only the latest stays, so the front is the cheapest
    // with the shortest run. Blocks are sized often, and tables of small ones
    // are mostly zeros.
    std::array<int, kNumC + 1> window;
    return planLengths(cLens, n, plan, [&](int run, CLenPlan& steps) {
        int longFrom = 0;  // the cheapest prefix a long run symbol can follow
        int front = 0, back = 0;
        for (int j = 1; j <= run; ++j) {
            best[j] = best[j - 1] + zero;
            take[j] = 1;
            if (j >= 3) {
                while (back > front && best[window[back - 1]] >= best[j - 3]) --back;
                window[back++] = j - 3;
            }
            while (back > front && window[front] < j - 18) ++front;
            if (back > front && best[window[front]] + shortRun < best[j]) {
                best[j] = best[window[front]] + shortRun;
                take[j] = static_cast<std::uint16_t>(j - window[front]);
            }
            if (j < 20) continue;
            if (best[j - 20] < best[longFrom]) longFrom = j - 20;
            if (best[longFrom] + longRun < best[j]) {
                best[j] = best[longFrom] + longRun;
                take[j] = static_cast<std::uint16_t>(j - longFrom);
            }
        }
        if (best[run] >= kNo) return false;
        const std::size_t at = steps.size();
        for (int j = run; j > 0; j -= take[j]) steps.push_back(zeros(take[j]));
        std::reverse(steps.begin() + static_cast<std::ptrdiff_t>(at), steps.end());
        return true;
    });
}

int usedLength(std::span<const std::uint8_t> lens) {
    int n = static_cast<int>(lens.size());
    while (n > 0 && lens[n - 1] == 0) --n;
    return n;
}

// Lengths of the small tables: 0..6 in three bits, longer ones as 111 followed
// by (len - 7) ones and a zero. After `special` entries a two-bit count of
// following zero lengths (at most three) may be skipped. `put(bits, value)`
// writes or counts.
template <typename Put>
void putPtLens(Put&& put, std::span<const std::uint8_t> lens, int nBits, int special,
               int minCount = 0) {
    const int n = std::max(usedLength(lens), minCount);
    put(nBits, n);
    int i = 0;
    while (i < n) {
        const int k = lens[i++];
        if (k <= 6)
            put(3, k);
        else
            put(k - 3, (1u << (k - 3)) - 2);
        if (i == special) {
            while (i < 6 && lens[i] == 0) ++i;
            put(2, i - special);
        }
    }
}

void writePtLens(BitWriter& out, std::span<const std::uint8_t> lens, int nBits, int special,
                 int minCount = 0) {
    putPtLens([&](int bits, std::uint32_t value) { out.put(bits, value); }, lens, nBits, special,
              minCount);
}

int ptLensBits(std::span<const std::uint8_t> lens, int nBits, int special, int minCount) {
    int total = 0;
    putPtLens([&](int bits, std::uint32_t) { total += bits; }, lens, nBits, special, minCount);
    return total;
}

struct Table {
    std::array<std::uint8_t, kNumC> lens{};
    std::array<std::uint16_t, kNumC> codes{};
    std::size_t size = 0;
    int used = 0;

    // An empty table is sent as "count 0, symbol 0". A table with one symbol
    // has the same short form, but libarchive 3.6 fails to decode it for the
    // literal table, so it gets a never-used partner instead: one bit per
    // symbol, in blocks that are degenerate anyway.
    static HuffmanTree treeFor(std::span<const std::uint32_t> freq) {
        std::array<std::uint32_t, kNumC> f{};
        std::copy(freq.begin(), freq.end(), f.begin());
        const auto mine = std::span(f).first(freq.size());
        int only = -1, count = 0;
        for (std::size_t i = 0; i < freq.size(); ++i)
            if (freq[i]) {
                only = static_cast<int>(i);
                ++count;
            }
        if (count == 1) mine[only == 0 ? 1 : 0] = 1;
        return HuffmanTree(mine);
    }

    void build(std::span<const std::uint32_t> freq) { build(treeFor(freq), freq.size()); }

    // From a tree of treeFor(), for n symbols, none longer than maxBits.
    void build(const HuffmanTree& tree, std::size_t n, int maxBits = kMaxCodeBits) {
        size = n;
        used = tree.used();
        tree.lengths(maxBits, std::span(lens).first(size));
    }

    // Only a table that is written needs its codes.
    void makeCodes() { buildCodes(std::span(lens).first(size), std::span(codes).first(size)); }

    void put(BitWriter& out, int sym) const { out.put(lens[sym], codes[sym]); }
};

// Everything of a block but its symbols, and how many bits the whole takes.
struct BlockPlan {
    Table c, p, t;
    CLenPlan cLens;  // the literal table's lengths, as code-length symbols
    int cCount = 0;  // literal/length symbols sent (trailing unused ones are not)
    int minT = 0;    // code-length entries sent at least
    std::uint64_t bits = 0;

    BlockPlan(std::span<const std::uint32_t> cFreq, std::span<const std::uint32_t> pFreq, int pBits,
              bool last)
        : BlockPlan(cFreq, pFreq, pBits, last, Table::treeFor(cFreq), kMaxCodeBits) {}

    // cTree: Table::treeFor(cFreq); cMaxBits: the longest literal/length code
    // allowed.
    BlockPlan(std::span<const std::uint32_t> cFreq, std::span<const std::uint32_t> pFreq, int pBits,
              bool last, const HuffmanTree& cTree, int cMaxBits) {
        assert(cFreq.size() == kNumC);
        c.build(cTree, cFreq.size(), cMaxBits);
        assert(c.used >= 2);
        p.build(pFreq);
        std::uint64_t symbolBits = 0;
        for (int i = 0; i < kNumC; ++i) symbolBits += std::uint64_t{cFreq[i]} * c.lens[i];
        for (std::size_t i = 0; i < pFreq.size(); ++i)
            symbolBits += std::uint64_t{pFreq[i]} * (p.lens[i] + (i > 1 ? i - 1 : 0));
        // libarchive refuses to start a block unless 64 bits remain or are
        // already buffered: a last block whose symbols alone are shorter gets
        // zero-length entries in its first table.
        minT = last && symbolBits < 64 ? kNumT : 0;

        // The zero runs' form and the lengths table depend on each other:
        // start from the fixed form, then split runs by the table it gives, a
        // few rounds, keeping the cheapest.
        const auto lens = std::span<const std::uint8_t>(c.lens);
        cCount = usedLength(lens);
        planFixed(lens, cCount, cLens);
        int tBits = tableFor(cLens, t);
        CLenPlan trial;
        for (int round = 0; round < 3; ++round) {
            Table next;
            if (!planCheapest(lens, cCount, std::span<const std::uint8_t>(t.lens).first(kNumT),
                              trial))
                break;
            const int trialBits = tableFor(trial, next);
            if (trialBits >= tBits) break;
            tBits = trialBits;
            cLens = trial;
            t = next;
        }
        const int pTableBits =
            p.used == 0 ? 2 * pBits
                        : ptLensBits(std::span<const std::uint8_t>(p.lens).first(pFreq.size()),
                                     pBits, -1, 0);
        bits = 16 + static_cast<std::uint64_t>(tBits) + kCBits + pTableBits + symbolBits;
    }

    // Builds `table` for `steps` and returns the bits of both.
    int tableFor(const CLenPlan& steps, Table& table) const {
        std::array<std::uint32_t, kNumT> tFreq{};
        for (const auto& st : steps) ++tFreq[st.sym];
        table.build(tFreq);
        int total =
            ptLensBits(std::span<const std::uint8_t>(table.lens).first(kNumT), kTBits, 3, minT);
        for (const auto& st : steps) total += table.lens[st.sym] + st.extraBits;
        return total;
    }

    // The plan of fewest bits among the limits on the literal/length codes.
    // Each length the table sends costs bits of its own: shorter longest
    // codes take a few bits from the rare symbols and give more back in
    // the table. The cost falls as the limit comes down, then rises.
    static BlockPlan cheapest(std::span<const std::uint32_t> cFreq,
                              std::span<const std::uint32_t> pFreq, int pBits, bool last) {
        const HuffmanTree tree = Table::treeFor(cFreq);
        int fewest = 1;
        while ((1 << fewest) < tree.used()) ++fewest;
        BlockPlan best(cFreq, pFreq, pBits, last, tree, kMaxCodeBits);
        for (int limit = std::min(tree.longest(), kMaxCodeBits) - 1; limit >= fewest; --limit) {
            BlockPlan trial(cFreq, pFreq, pBits, last, tree, limit);
            if (trial.bits > best.bits) break;
            if (trial.bits < best.bits) best = trial;
        }
        return best;
    }

    void lengths(BlockLengths* out) const {
        if (!out) return;
        out->c = c.lens;
        std::copy_n(p.lens.begin(), out->p.size(), out->p.begin());
    }
};

}  // namespace

std::uint64_t blockBits(std::span<const std::uint32_t> cFreq, std::span<const std::uint32_t> pFreq,
                        int pBits, BlockLengths* lengths) {
    const BlockPlan plan(cFreq, pFreq, pBits, false);
    plan.lengths(lengths);
    return plan.bits;
}

std::uint64_t writeBlock(BitWriter& out, std::span<const Token> tokens,
                         std::span<const std::uint32_t> cFreq, std::span<const std::uint32_t> pFreq,
                         int pBits, bool last, BlockLengths* lengths) {
    assert(!tokens.empty() && tokens.size() <= kMaxBlockSymbols);
    BlockPlan plan = BlockPlan::cheapest(cFreq, pFreq, pBits, last);
    plan.c.makeCodes();
    plan.p.makeCodes();
    plan.t.makeCodes();
    out.put(16, static_cast<std::uint32_t>(tokens.size()));
    writePtLens(out, std::span<const std::uint8_t>(plan.t.lens).first(kNumT), kTBits, 3, plan.minT);
    out.put(kCBits, plan.cCount);
    for (const auto& st : plan.cLens) {
        plan.t.put(out, st.sym);
        out.put(st.extraBits, st.extra);
    }
    if (plan.p.used == 0) {
        out.put(pBits, 0);
        out.put(pBits, 0);
    } else {
        writePtLens(out, std::span<const std::uint8_t>(plan.p.lens).first(pFreq.size()), pBits, -1);
    }
    plan.lengths(lengths);

    for (const Token tok : tokens) {
        const int sym = tok & 0xFFFF;
        plan.c.put(out, sym);
        if (sym < 256) continue;
        const std::uint32_t pos = tok >> 16;
        const int pc = positionCode(pos);
        plan.p.put(out, pc);
        if (pc > 1) out.put(pc - 1, pos - (1u << (pc - 1)));
    }
    return plan.bits;
}

}  // namespace unlha
