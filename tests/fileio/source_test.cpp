#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dozo/fileio/source.h"
#include "fault.h"
#include "files.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

using fileio::Source;
using fileio::Status;

TEST(Source, RefusesWhatIsNotAReadableRegularFile) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);  // must not block waiting for a writer
    ASSERT_EQ(::symlink("missing", (dir / "dangling").c_str()), 0);
    const std::string cases[] = {dir / "missing", dir.path(), dir / "fifo", dir / "dangling", ""};
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        Source source;
        EXPECT_EQ(source.open(path.c_str()), Status::sourceOpen);
    }
    Source source;
    EXPECT_EQ(source.open(nullptr), Status::sourceOpen);
}

TEST(Source, ReadsByAbsoluteOffsets) {
    TempDir dir;
    const Bytes data = randomBytes(100000, 1);
    writeFile(dir / "f", data);
    Source source;
    ASSERT_EQ(source.open((dir / "f").c_str()), Status::ok);
    EXPECT_EQ(source.size(), 100000);
    for (std::int64_t offset : {99990, 0, 4095, 50000}) {
        Bytes got(10);
        ASSERT_EQ(source.readAt(offset, got.data(), got.size()), Status::ok);
        EXPECT_EQ(got, Bytes(data.begin() + offset, data.begin() + offset + 10));
    }
    unsigned char past[2];
    EXPECT_EQ(source.readAt(99999, past, 2), Status::read);
}

TEST(Source, OffsetsBeyond2GiB) {
    TempDir dir;
    const off_t size = (off_t{3} << 30) + 5;
    const int fd = ::open((dir / "sparse").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ASSERT_EQ(::pwrite(fd, "xyz", 3, size - 3), 3);
    ::close(fd);
    Source source;
    ASSERT_EQ(source.open((dir / "sparse").c_str()), Status::ok);
    EXPECT_EQ(source.size(), size);
    char got[4] = {};
    ASSERT_EQ(source.readAt(size - 4, got, 4), Status::ok);
    EXPECT_EQ(std::string(got, 4), std::string("\0xyz", 4));
}

TEST(Source, ShrunkFileIsAReadErrorNotAShortResult) {
    TempDir dir;
    writeFile(dir / "f", randomBytes(8192, 2));
    Source source;
    ASSERT_EQ(source.open((dir / "f").c_str()), Status::ok);
    ASSERT_EQ(::truncate((dir / "f").c_str(), 100), 0);
    Bytes got(4096);
    EXPECT_EQ(source.readAt(4096, got.data(), got.size()), Status::read);
}

TEST(Source, RetriesInterruptedAndPartialReadsButReportsErrors) {
    TempDir dir;
    const Bytes data = randomBytes(5000, 3);
    writeFile(dir / "f", data);
    Source source;
    ASSERT_EQ(source.open((dir / "f").c_str()), Status::ok);
    Fault fault;
    flakyCalls = 0;
    fault.calls().pread = flaky<::pread, 7>;
    Bytes got(5000);
    ASSERT_EQ(source.readAt(0, got.data(), got.size()), Status::ok);
    EXPECT_EQ(got, data);

    fault.calls().pread = failing<EIO>;
    EXPECT_EQ(source.readAt(0, got.data(), got.size()), Status::read);
}

}  // namespace
}  // namespace dozo::test
