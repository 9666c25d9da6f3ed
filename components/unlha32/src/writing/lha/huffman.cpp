#include "writing/lha/huffman.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace unlha {

HuffmanTree::HuffmanTree(std::span<const std::uint32_t> freq) {
    n_ = static_cast<int>(freq.size());
    assert(n_ <= kMaxSymbols);
    // Leaves by weight, ties broken by symbol so that the same input always
    // gives the same archive: both in one key, which sorts fastest.
    constexpr int kSymbolBits = 9;
    static_assert(kMaxSymbols <= 1 << kSymbolBits);
    std::array<std::uint64_t, kMaxSymbols> key;
    for (int i = 0; i < n_; ++i)
        if (freq[i])
            key[used_++] = std::uint64_t{freq[i]} << kSymbolBits | static_cast<unsigned>(i);
    std::sort(key.begin(), key.begin() + used_);
    for (int i = 0; i < used_; ++i)
        order_[i] = static_cast<std::uint16_t>(key[i] & ((1u << kSymbolBits) - 1));
    if (used_ < 2) {
        if (used_ == 1) depth_[0] = 1;
        return;
    }

    // Two-queue Huffman over leaves sorted by weight: internal nodes are made
    // in non-decreasing weight order, so no heap is needed.
    std::array<std::uint64_t, 2 * kMaxSymbols> weight;
    std::array<int, 2 * kMaxSymbols> parent;
    for (int i = 0; i < used_; ++i) weight[i] = key[i] >> kSymbolBits;
    int leaf = 0, node = used_, next = used_;
    auto take = [&]() {
        if (leaf < used_ && (node >= next || weight[leaf] <= weight[node])) return leaf++;
        return node++;
    };
    while (next < 2 * used_ - 1) {
        const int a = take();
        const int b = take();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        ++next;
    }
    const int root = next - 1;
    std::array<int, 2 * kMaxSymbols> depth;
    depth[root] = 0;
    for (int i = root - 1; i >= 0; --i) depth[i] = depth[parent[i]] + 1;
    // A leaf deeper than 255 levels is clamped anyway.
    for (int i = 0; i < used_; ++i) depth_[i] = static_cast<std::uint8_t>(std::min(depth[i], 255));
}

int HuffmanTree::longest() const {
    return used_ == 0 ? 0 : *std::max_element(depth_.begin(), depth_.begin() + used_);
}

void HuffmanTree::lengths(int maxBits, std::span<std::uint8_t> lens) const {
    assert(lens.size() >= static_cast<std::size_t>(n_));
    assert(maxBits <= 16 && (1 << maxBits) >= used_);
    std::fill(lens.begin(), lens.end(), 0);
    if (used_ < 2) {
        if (used_ == 1) lens[order_[0]] = 1;
        return;
    }
    // Clamp to maxBits and repair the Kraft sum: every length beyond the limit
    // is pulled in, then leaves are pushed down one level at a time from the
    // deepest level that still has room.
    std::array<int, 64> count{};
    for (int i = 0; i < used_; ++i) ++count[std::min<int>(depth_[i], maxBits)];
    std::uint64_t kraft = 0;
    for (int b = 1; b <= maxBits; ++b)
        kraft += static_cast<std::uint64_t>(count[b]) << (maxBits - b);
    const std::uint64_t full = std::uint64_t{1} << maxBits;
    while (kraft > full) {
        --count[maxBits];
        for (int b = maxBits - 1; b > 0; --b) {
            if (count[b]) {
                --count[b];
                count[b + 1] += 2;
                break;
            }
        }
        --kraft;
    }
    assert(kraft == full);

    // Most frequent symbols get the shortest lengths.
    int b = 1;
    for (int i = used_ - 1; i >= 0; --i) {
        while (count[b] == 0) ++b;
        lens[order_[i]] = static_cast<std::uint8_t>(b);
        --count[b];
    }
}

int buildLengths(std::span<const std::uint32_t> freq, int maxBits, std::span<std::uint8_t> lens) {
    const HuffmanTree tree(freq);
    tree.lengths(maxBits, lens);
    return tree.used();
}

void buildCodes(std::span<const std::uint8_t> lens, std::span<std::uint16_t> codes) {
    assert(codes.size() >= lens.size());
    int count[17] = {};
    for (auto l : lens) ++count[l];
    count[0] = 0;
    std::uint32_t next[17] = {};
    std::uint32_t code = 0;
    for (int b = 1; b <= 16; ++b) {
        code = (code + count[b - 1]) << 1;
        next[b] = code;
    }
    for (std::size_t i = 0; i < lens.size(); ++i)
        codes[i] = lens[i] ? static_cast<std::uint16_t>(next[lens[i]]++) : 0;
}

}  // namespace unlha
