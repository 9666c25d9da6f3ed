// The encoder on its own: every method at both levels, data shapes that
// exercise the block coder's special cases, and decoding by libarchive as the
// reference (and by the decoder the writer checks its output with).
#include <gtest/gtest.h>

#include <cmath>

#include "lha_test_util.h"
#include "writing/lha/block_coder.h"
#include "writing/lha/crc16.h"
#include "writing/lha/decoder.h"
#include "writing/lha/encoder.h"
#include "writing/lha/huffman.h"

using namespace lhatest;
using unlha::Level;
using unlha::Method;

namespace {

struct Shape {
    const char* name;
    Bytes data;
};

std::vector<Shape> shapes() {
    Bytes runs;
    for (int i = 0; i < 300000; ++i)
        runs.push_back(static_cast<std::uint8_t>((i / 1000) & 1 ? 'a' : 'b'));
    Bytes period;  // repeats just inside and just beyond each dictionary size
    const Bytes unit = binaryData(70000, 3);
    for (const long length : {8190L, 32767L, 70000L})
        for (int k = 0; k < 3; ++k)
            period.insert(period.end(), unit.begin(), unit.begin() + length);
    // A long match starting two bytes before the end of the parser's first
    // chunk: its tail belongs to the next chunk.
    Bytes chunkEdge = binaryData(unlha::kParseChunk - 2, 4);
    chunkEdge.insert(chunkEdge.end(), chunkEdge.begin(), chunkEdge.begin() + 200);
    const Bytes tail = binaryData(1000, 5);
    chunkEdge.insert(chunkEdge.end(), tail.begin(), tail.end());
    // Distinct bytes whose codes take 59 and 64 bits: a last block shorter
    // than 64 bits is lengthened, one of 64 is not.
    auto distinct = [](int n) {
        Bytes b(n);
        for (int i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13);
        return b;
    };
    Bytes twoSymbols;
    for (int i = 0; i < 5000; ++i) twoSymbols.push_back(i % 3 ? 'x' : 'y');
    return {
        // Streams shorter than 64 bits once failed in libarchive.
        {"byte_0", Bytes{0}},
        {"byte_1", Bytes{1}},
        {"bytes_0_1", Bytes{0, 1}},
        {"twenty_same", Bytes(20, 'a')},
        {"one_byte", Bytes{'A'}},
        {"no_matches",
         [] {
             Bytes b(256);
             for (int i = 0; i < 256; ++i) b[i] = static_cast<std::uint8_t>(i * 7);
             return b;
         }()},
        {"two_adjacent_bytes",
         [] {
             Bytes b(3000);
             for (std::size_t i = 0; i < b.size(); ++i) b[i] = (i * 2654435761u >> 13) & 1;
             return b;
         }()},
        {"three_same", Bytes(3, 'z')},
        {"long_run", Bytes(1 << 20, 0)},
        {"two_symbols", twoSymbols},
        {"alternating_runs", runs},
        {"text", textData(400000)},
        {"random", binaryData(200000)},
        {"ff_rich", ffRichData(150000)},
        {"periodic", period},
        {"long_match_at_chunk_edge", chunkEdge},
        {"distinct_15", distinct(15)},
        {"distinct_16", distinct(16)},
        {"gapped", gappedData(20000)},
    };
}

class CodecRoundTrip : public ::testing::TestWithParam<std::tuple<Method, Level>> {
protected:
    Method method() const { return std::get<0>(GetParam()); }
    Level level() const { return std::get<1>(GetParam()); }
    Bytes compress(const Bytes& data) const { return unlha::compress(data, method(), level()); }
};

TEST_P(CodecRoundTrip, LibarchiveDecodesEveryShape) {
    for (const auto& s : shapes()) {
        SCOPED_TRACE(s.name);
        const Bytes packed = compress(s.data);
        const auto entries = readArchive(wrapRaw(packed, s.data, method()), nullptr);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_TRUE(entries[0].data == s.data) << "decoded " << entries[0].data.size() << " bytes";
        EXPECT_EQ(compress(s.data), packed) << "not deterministic";
        // The writer's own check agrees, to the last bit but the padding.
        unlha::DecoderMemory memory;
        const unlha::Decoded ours = unlha::decode(method(), {packed}, {}, s.data.size(), memory);
        EXPECT_EQ(ours.error, "");
        EXPECT_EQ(ours.crc, unlha::crc16(0, s.data));
        EXPECT_EQ((ours.bits + 7) / 8, packed.size());
    }
}

TEST_P(CodecRoundTrip, ChunkedWritesGiveTheSameStream) {
    const Bytes data = textData(300000, 5);
    Bytes chunked;
    unlha::Encoder enc(method(), level(), [&](std::span<const std::uint8_t> b) {
        chunked.insert(chunked.end(), b.begin(), b.end());
        return true;
    });
    for (std::size_t at = 0; at < data.size(); at += 777)
        ASSERT_TRUE(
            enc.write(std::span(data).subspan(at, std::min<std::size_t>(777, data.size() - at))));
    ASSERT_TRUE(enc.finish());
    EXPECT_EQ(chunked, compress(data));
    EXPECT_EQ(enc.compressedSize(), chunked.size());
}

TEST_P(CodecRoundTrip, SinkRefusalStopsTheEncoder) {
    const Bytes data = binaryData(1 << 20);
    int calls = 0;
    unlha::Encoder enc(method(), level(),
                       [&](std::span<const std::uint8_t>) { return ++calls < 2; });
    enc.write(data);
    EXPECT_FALSE(enc.finish());
    EXPECT_EQ(calls, 2);
}

TEST_P(CodecRoundTrip, SharedMemoryLeavesNothingBehind) {
    // Files encoded one after another in one memory give what each gives
    // alone: nothing of an earlier file (its positions, its window) is ever
    // matched. A file that repeats the start of the one before is the case
    // stale positions would match; a long one slides its window; the other
    // method and level index positions in tables of their own.
    const Bytes text = textData(1200000, 7);
    const auto part = [&](std::size_t from, std::size_t to) {
        return Bytes(text.begin() + static_cast<long>(from), text.begin() + static_cast<long>(to));
    };
    const Bytes inputs[] = {part(0, 1900),  part(0, 1200), textData(700, 8), part(0, 30000),
                            part(0, 20000), text,          part(0, 1500)};
    unlha::EncoderMemory memory;
    int step = 0;
    const Level other = level() == Level::max ? Level::normal : Level::max;
    for (const auto& [m, l] : {std::pair{method(), level()}, std::pair{Method::lh7, level()},
                               std::pair{method(), other}}) {
        for (const Bytes& data : inputs) {
            SCOPED_TRACE(++step);
            Bytes shared;
            unlha::Encoder enc(
                m, l,
                [&](std::span<const std::uint8_t> b) {
                    shared.insert(shared.end(), b.begin(), b.end());
                    return true;
                },
                &memory);
            ASSERT_TRUE(enc.write(data));
            ASSERT_TRUE(enc.finish());
            EXPECT_TRUE(shared == unlha::compress(data, m, l));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, CodecRoundTrip,
                         ::testing::Combine(::testing::Values(Method::lh5, Method::lh6,
                                                              Method::lh7),
                                            ::testing::Values(Level::normal, Level::max)),
                         [](const auto& test) {
                             return lhatest::methodAndLevel(std::get<0>(test.param),
                                                            std::get<1>(test.param));
                         });

TEST(Codec, TheWritersCheckRefusesWhatTheStreamDoesNotHold) {
    // Sound streams asked for what they do not give: the check stops on the
    // first symbol that breaks the claim and says which rule it broke.
    Bytes distinct(200);  // literals only
    for (std::size_t i = 0; i < distinct.size(); ++i)
        distinct[i] = static_cast<std::uint8_t>(i * 7);
    const Bytes history = textData(3000, 11);
    for (const Method method : {Method::lh5, Method::lh6, Method::lh7}) {
        SCOPED_TRACE(unlha::params(method).id);
        // The history again, as a segment after it: matches reach into it.
        Bytes segment;
        std::uint32_t tail = 0;
        int tailBits = 0;
        unlha::Encoder enc(method, Level::normal, [&](std::span<const std::uint8_t> b) {
            segment.insert(segment.end(), b.begin(), b.end());
            return true;
        });
        enc.prime(history);
        ASSERT_TRUE(enc.write(history));
        ASSERT_TRUE(enc.finishSegment(true, &tail, &tailBits));
        const unlha::PackedBits segmentBits{segment, 0, tail, tailBits};
        const Bytes runs = unlha::compress(Bytes(20, 'a'), method, Level::normal);
        const Bytes literals = unlha::compress(distinct, method, Level::normal);
        const std::uint64_t h = history.size(), n = distinct.size();
        const struct {
            const char* name;
            unlha::PackedBits bits;
            std::span<const std::uint8_t> history;
            std::uint64_t length;
            std::string error;
            std::uint64_t decoded;
        } cases[] = {
            {"segment with its history", segmentBits, history, h, "", h},
            {"segment without its history", segmentBits, {}, h, "a match before the data", 0},
            {"a match past the length", {runs}, {}, 10, "a match past the end of the data", 1},
            {"symbols past the length", {literals}, {}, n - 1, "more symbols than data", n - 1},
            {"a length past the stream", {literals}, {}, n + 1, "empty block", n},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            unlha::DecoderMemory memory;
            const unlha::Decoded d = unlha::decode(method, c.bits, c.history, c.length, memory);
            EXPECT_EQ(d.error, c.error);
            if (c.error.empty()) {
                EXPECT_EQ(d.crc, unlha::crc16(0, history));
            }
            // Every byte before the error is counted; the match that breaks
            // a rule is not.
            EXPECT_EQ(d.length, c.decoded);
        }
    }
}

TEST(Codec, LargerDictionariesFindDistantRepeats) {
    // 20 KiB of random data repeated: out of reach of -lh5-'s 8 KiB, within -lh6-'s 32 KiB.
    Bytes data = binaryData(20000, 9);
    data.insert(data.end(), data.begin(), data.end());
    const auto lh5 = unlha::compress(data, Method::lh5, Level::normal).size();
    const auto lh6 = unlha::compress(data, Method::lh6, Level::normal).size();
    EXPECT_GT(lh5, 39000u);
    EXPECT_LT(lh6, 21000u);
}

TEST(BlockCoder, SizesBlocksAsTheyAreWritten) {
    // The encoder ends blocks where the sizes say they cost least: a size
    // that undercounts what is written would cut them in the wrong places.
    // writeBlock says exactly what it wrote; plain codes never take fewer
    // bits than its limited ones.
    struct Case {
        const char* name;
        Bytes literals;
        int matches;  // of growing length and distance
    };
    const Case cases[] = {
        {"literals only", textData(3000), 0},
        {"one literal value", Bytes(50, 'a'), 0},
        {"zero runs of every form", gappedData(5000), 0},
        {"literals and matches", textData(2000, 3), 700},
        {"matches only", {}, 300},
    };
    for (const Method method : {Method::lh5, Method::lh7}) {
        const auto mp = unlha::params(method);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + mp.id);
            std::vector<unlha::Token> tokens;
            std::vector<std::uint32_t> cFreq(unlha::kNumC), pFreq(mp.numP);
            for (const std::uint8_t b : c.literals) {
                tokens.push_back(b);
                ++cFreq[b];
            }
            for (int i = 0; i < c.matches; ++i) {
                const int len = unlha::kMinMatch + i % (unlha::kMaxMatch - unlha::kMinMatch);
                const std::uint32_t pos = (i * 2654435761u) >> (32 - mp.dictBits);
                tokens.push_back(static_cast<unlha::Token>(256 + len - unlha::kMinMatch) |
                                 pos << 16);
                ++cFreq[256 + len - unlha::kMinMatch];
                ++pFreq[unlha::positionCode(pos)];
            }
            unlha::BitWriter out;
            const std::uint64_t said =
                unlha::writeBlock(out, tokens, cFreq, pFreq, mp.pBits, false);
            std::vector<std::uint8_t> bytes;
            out.takeBytes(bytes);
            EXPECT_EQ(said, bytes.size() * 8 + out.pendingCount());
            EXPECT_LE(said, unlha::blockBits(cFreq, pFreq, mp.pBits));
        }
    }
}

TEST(Crc16, MatchesTheReferenceCheckValue) {
    const std::string s = "123456789";
    EXPECT_EQ(unlha::crc16(0, {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}), 0xBB3D);
    // Split input continues the same CRC.
    const Bytes d = binaryData(1001);
    EXPECT_EQ(unlha::crc16(unlha::crc16(0, std::span(d).first(333)), std::span(d).subspan(333)),
              unlha::crc16(0, d));
}

TEST(Crc16, CombinedPiecesMatchTheWhole) {
    const Bytes d = binaryData((1 << 20) + 4099, 5);
    const std::span<const std::uint8_t> all(d);
    for (std::size_t cut :
         {std::size_t{0}, std::size_t{1}, std::size_t{4099}, d.size() - 1, d.size()}) {
        SCOPED_TRACE(cut);
        const auto a = all.first(cut), b = all.subspan(cut);
        EXPECT_EQ(unlha::crc16Combine(unlha::crc16(0, a), unlha::crc16(0, b), b.size()),
                  unlha::crc16(0, d));
    }
}

TEST(Huffman, LengthsAreLimitedAndComplete) {
    // Fibonacci weights force a degenerate tree far deeper than 16 levels.
    std::vector<std::uint32_t> freq(40);
    std::uint32_t a = 1, b = 1;
    for (auto& f : freq) {
        f = a;
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    freq[5] = 0;
    std::vector<std::uint8_t> lens(freq.size());
    EXPECT_EQ(unlha::buildLengths(freq, 16, lens), 39);
    double kraft = 0;
    for (std::size_t i = 0; i < lens.size(); ++i) {
        if (!freq[i]) {
            EXPECT_EQ(lens[i], 0);
            continue;
        }
        EXPECT_GE(lens[i], 1);
        EXPECT_LE(lens[i], 16);
        kraft += std::ldexp(1.0, -lens[i]);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    EXPECT_LE(lens[39], lens[0]) << "the most frequent symbol must not get a longer code";
}

TEST(Huffman, CanonicalCodesArePrefixFree) {
    const std::vector<std::uint8_t> lens = {3, 3, 3, 3, 3, 2, 4, 4};
    std::vector<std::uint16_t> codes(lens.size());
    unlha::buildCodes(lens, codes);
    for (std::size_t i = 0; i < lens.size(); ++i)
        for (std::size_t j = 0; j < lens.size(); ++j) {
            if (i == j || lens[i] > lens[j]) continue;
            EXPECT_NE(codes[j] >> (lens[j] - lens[i]), codes[i]) << i << " prefixes " << j;
        }
    EXPECT_EQ(codes[5], 0b00);  // the shortest code is all zeros
}

}  // namespace
