#include "lha/block_coder.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "lha/huffman.h"

namespace unlha {
namespace {

// Zero runs in the literal/length lengths use three code-length symbols:
// 0 = one zero, 1 = 3..18 zeros (4 more bits), 2 = 20 or more (9 more bits).
template <typename Visit>
void walkCLens(std::span<const std::uint8_t> cLens, int n, Visit&& visit) {
    int i = 0;
    while (i < n) {
        const int k = cLens[i++];
        if (k != 0) {
            visit(k + 2, 0, 0);
            continue;
        }
        int run = 1;
        while (i < n && cLens[i] == 0) {
            ++i;
            ++run;
        }
        if (run <= 2) {
            for (int j = 0; j < run; ++j) visit(0, 0, 0);
        } else if (run <= 18) {
            visit(1, 4, run - 3);
        } else if (run == 19) {
            visit(0, 0, 0);
            visit(1, 4, 15);
        } else {
            visit(2, kCBits, run - 20);
        }
    }
}

int usedLength(std::span<const std::uint8_t> lens) {
    int n = static_cast<int>(lens.size());
    while (n > 0 && lens[n - 1] == 0) --n;
    return n;
}

// Lengths of the small tables: 0..6 in three bits, longer ones as 111 followed
// by (len - 7) ones and a zero. After `special` entries a two-bit count of
// following zero lengths (at most three) may be skipped.
void writePtLens(BitWriter& out, std::span<const std::uint8_t> lens, int nBits, int special,
                 int minCount = 0) {
    const int n = std::max(usedLength(lens), minCount);
    out.put(nBits, n);
    int i = 0;
    while (i < n) {
        const int k = lens[i++];
        if (k <= 6)
            out.put(3, k);
        else
            out.put(k - 3, (1u << (k - 3)) - 2);
        if (i == special) {
            while (i < 6 && lens[i] == 0) ++i;
            out.put(2, i - special);
        }
    }
}

struct Table {
    std::array<std::uint8_t, kNumC> lens{};
    std::array<std::uint16_t, kNumC> codes{};
    int used = 0;

    // An empty table is sent as "count 0, symbol 0". A table with one symbol
    // has the same short form, but libarchive 3.6 fails to decode it for the
    // literal table, so it gets a never-used partner instead: one bit per
    // symbol, in blocks that are degenerate anyway.
    void build(std::span<const std::uint32_t> freq) {
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
        const auto l = std::span(lens).first(freq.size());
        used = buildLengths(mine, kMaxCodeBits, l);
        buildCodes(l, std::span(codes).first(freq.size()));
    }

    void put(BitWriter& out, int sym) const { out.put(lens[sym], codes[sym]); }
};

}  // namespace

void writeBlock(BitWriter& out, std::span<const Token> tokens, std::span<const std::uint32_t> cFreq,
                std::span<const std::uint32_t> pFreq, int pBits, bool last, BlockLengths* lengths) {
    assert(!tokens.empty() && tokens.size() <= kMaxBlockSymbols);
    assert(cFreq.size() == kNumC);
    out.put(16, static_cast<std::uint32_t>(tokens.size()));

    Table c;
    c.build(cFreq);
    assert(c.used >= 2);
    {
        const auto cLens = std::span<const std::uint8_t>(c.lens);
        const int n = usedLength(cLens);
        std::array<std::uint32_t, kNumT> tFreq{};
        walkCLens(cLens, n, [&](int sym, int, int) { ++tFreq[sym]; });
        Table t;
        t.build(tFreq);
        // libarchive refuses to start a block unless 64 bits remain or are
        // already buffered; zero-length entries lengthen a short last block.
        writePtLens(out, std::span<const std::uint8_t>(t.lens).first(kNumT), kTBits, 3,
                    last ? kNumT : 0);
        out.put(kCBits, n);
        walkCLens(cLens, n, [&](int sym, int extraBits, int extra) {
            t.put(out, sym);
            out.put(extraBits, extra);
        });
    }

    Table p;
    p.build(pFreq);
    if (p.used == 0) {
        out.put(pBits, 0);
        out.put(pBits, 0);
    } else
        writePtLens(out, std::span<const std::uint8_t>(p.lens).first(pFreq.size()), pBits, -1);

    if (lengths) {
        lengths->c = c.lens;
        std::copy_n(p.lens.begin(), lengths->p.size(), lengths->p.begin());
    }

    for (const Token tok : tokens) {
        const int sym = tok & 0xFFFF;
        c.put(out, sym);
        if (sym < 256) continue;
        const std::uint32_t pos = tok >> 16;
        const int pc = positionCode(pos);
        p.put(out, pc);
        if (pc > 1) out.put(pc - 1, pos - (1u << (pc - 1)));
    }
}

}  // namespace unlha
