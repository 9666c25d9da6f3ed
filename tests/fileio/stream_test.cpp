#include <gtest/gtest.h>

#include <algorithm>

#include "dozo/fileio/stream.h"
#include "fault.h"
#include "files.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

using fileio::kBlockSize;
using fileio::Replacement;
using fileio::Source;
using fileio::Status;

struct Streamed {
    Status status;
    std::vector<std::pair<std::int64_t, std::size_t>> blocks;  // (offset, size) as handed out
};

enum Direction { forward, backward };

template <class Change>
Streamed stream(const std::string& from, const std::string& to, Direction way, Change change) {
    Streamed out{};
    Source source;
    Replacement result;
    if ((out.status = source.open(from.c_str())) != Status::ok) return out;
    if ((out.status = result.open(to.c_str())) != Status::ok) return out;
    const auto record = [&](unsigned char* block, std::size_t n, std::int64_t at) {
        out.blocks.emplace_back(at, n);
        change(block, n);
    };
    out.status = way == forward ? fileio::streamForward(source, result, record)
                                : fileio::streamBackward(source, result, record);
    if (out.status == Status::ok) out.status = result.commit();
    return out;
}

const std::size_t kLengths[] = {
    0, 1, kBlockSize - 1, kBlockSize, kBlockSize + 1, 2 * kBlockSize + 3};

TEST(Stream, ForwardHandsOutEveryBlockInOrder) {
    for (std::size_t n : kLengths) {
        SCOPED_TRACE(n);
        TempDir dir;
        const Bytes data = randomBytes(n, 1);
        writeFile(dir / "in", data);
        const Streamed s =
            stream(dir / "in", dir / "out", forward, [](unsigned char* b, std::size_t k) {
                for (std::size_t i = 0; i < k; ++i) b[i] ^= 0x5a;
            });
        ASSERT_EQ(s.status, Status::ok);
        Bytes expected = data;
        for (auto& b : expected) b ^= 0x5a;
        EXPECT_EQ(readFile(dir / "out"), expected);
        std::int64_t next = 0;
        for (auto [at, size] : s.blocks) {
            EXPECT_EQ(at, next);
            EXPECT_EQ(at % 2, 0);
            next += static_cast<std::int64_t>(size);
        }
        EXPECT_EQ(next, static_cast<std::int64_t>(n));
    }
}

TEST(Stream, BackwardReversedBlocksGiveTheReversedFile) {
    for (std::size_t n : kLengths) {
        SCOPED_TRACE(n);
        TempDir dir;
        const Bytes data = randomBytes(n, 2);
        writeFile(dir / "in", data);
        const Streamed s = stream(dir / "in", dir / "out", backward,
                                  [](unsigned char* b, std::size_t k) { std::reverse(b, b + k); });
        ASSERT_EQ(s.status, Status::ok);
        EXPECT_EQ(readFile(dir / "out"), Bytes(data.rbegin(), data.rend()));
        for (std::size_t i = 0; i + 1 < s.blocks.size(); ++i)
            EXPECT_EQ(s.blocks[i].second, kBlockSize);
    }
}

TEST(Stream, AReadErrorStopsTheStreamAndKeepsTheDestination) {
    TempDir dir;
    writeFile(dir / "in", randomBytes(3 * kBlockSize, 3));
    writeFile(dir / "out", hex("01 02"));
    Fault fault;
    static int calls;
    calls = 0;
    fault.calls().pread = [](int fd, void* buf, size_t n, off_t at) -> ssize_t {
        if (++calls == 2) {
            errno = EIO;
            return -1;
        }
        return ::pread(fd, buf, n, at);
    };
    const Streamed s = stream(dir / "in", dir / "out", forward, [](unsigned char*, std::size_t) {});
    EXPECT_EQ(s.status, Status::read);
    EXPECT_EQ(s.blocks.size(), 1u);
    EXPECT_EQ(readFile(dir / "out"), hex("01 02"));
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"in", "out"}));
}

}  // namespace
}  // namespace dozo::test
