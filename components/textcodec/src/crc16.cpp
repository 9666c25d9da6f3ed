#include "dozo/textcodec/crc16.h"

#include <fcntl.h>

#include <array>
#include <memory>

#include "dozo/fileio/io.h"

namespace dozo::textcodec {
namespace {

// Slicing by four: the CRC runs over every input byte once, so it must keep
// pace with the match finder rather than dominate small files.
constexpr auto makeTables() {
    std::array<std::array<std::uint16_t, 256>, 4> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
        t[0][i] = c;
    }
    for (unsigned i = 0; i < 256; ++i)
        for (int s = 1; s < 4; ++s)
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

}  // namespace

std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data) {
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    std::uint32_t c = crc;
    while (n >= 4) {
        c ^= static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
        c = kTables[3][c & 0xFF] ^ kTables[2][(c >> 8) & 0xFF] ^ kTables[1][p[2]] ^
            kTables[0][p[3]];
        p += 4;
        n -= 4;
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
