#include "dozo/textcodec/crc16.h"

#include <fcntl.h>

#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "dozo/fileio/io.h"

namespace dozo::textcodec {
namespace {

// Slicing by sixteen: the CRC runs over every input byte twice in a pack
// (the input, then what the pack's check decodes), so it must keep pace with
// the match finder and the decoder rather than dominate either. Table s
// advances a byte's CRC by s zero bytes more.
constexpr int kSlices = 16;

constexpr auto makeTables() {
    std::array<std::array<std::uint16_t, 256>, kSlices> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
        t[0][i] = c;
    }
    for (unsigned i = 0; i < 256; ++i)
        for (int s = 1; s < kSlices; ++s)
            t[s][i] = static_cast<std::uint16_t>((t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF]);
    return t;
}

constexpr auto kTables = makeTables();

// A linear map of CRC states, as the images of the sixteen single bits.
using Operator = std::array<std::uint16_t, 16>;

std::uint16_t transformed(const Operator& op, std::uint16_t v) {
    std::uint16_t r = 0;
    for (int i = 0; v; ++i, v >>= 1)
        if (v & 1) r ^= op[i];
    return r;
}

// Eight bytes as a little-endian number, whatever the machine's order.
std::uint64_t littleEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// Byte i of v through table t.
std::uint32_t through(int t, std::uint64_t v, int i) {
    return kTables[t][(v >> (8 * i)) & 0xFF];
}

}  // namespace

std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data) {
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    std::uint32_t c = crc;
    while (n >= 16) {
        const std::uint64_t lo = littleEndian64(p) ^ c, hi = littleEndian64(p + 8);
        c = through(15, lo, 0) ^ through(14, lo, 1) ^ through(13, lo, 2) ^ through(12, lo, 3) ^
            through(11, lo, 4) ^ through(10, lo, 5) ^ through(9, lo, 6) ^ through(8, lo, 7) ^
            through(7, hi, 0) ^ through(6, hi, 1) ^ through(5, hi, 2) ^ through(4, hi, 3) ^
            through(3, hi, 4) ^ through(2, hi, 5) ^ through(1, hi, 6) ^ through(0, hi, 7);
        p += 16;
        n -= 16;
    }
    while (n--) c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
    return static_cast<std::uint16_t>(c);
}

// With no final XOR the CRC is linear: running it over B from A's state is
// running it over |B| zero bytes from that state, XOR the CRC of B alone.
std::uint16_t crc16Combine(std::uint16_t crcA, std::uint16_t crcB, std::uint64_t lengthB) {
    Operator op;  // one zero byte, then squared to 2, 4, 8... bytes
    for (int i = 0; i < 16; ++i) {
        const std::uint16_t c = static_cast<std::uint16_t>(1u << i);
        op[i] = static_cast<std::uint16_t>((c >> 8) ^ kTables[0][c & 0xFF]);
    }
    std::uint16_t c = crcA;
    for (; lengthB; lengthB >>= 1) {
        if (lengthB & 1) c = transformed(op, c);
        Operator sq;
        for (int i = 0; i < 16; ++i) sq[i] = transformed(op, op[i]);
        op = sq;
    }
    return static_cast<std::uint16_t>(c ^ crcB);
}

std::optional<FileCheck> crc16OfFile(const char* path) {
    const fileio::Fd fd(::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(kBlock);
    FileCheck check;
    for (;;) {
        const ssize_t got = fileio::readFully(fd.get(), block.get(), kBlock);
        if (got < 0) return std::nullopt;
        check.crc = crc16(check.crc, {block.get(), static_cast<std::size_t>(got)});
        check.size += got;
        if (static_cast<std::size_t>(got) < kBlock) return check;
    }
}

}  // namespace dozo::textcodec
