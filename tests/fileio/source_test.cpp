#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "dozo/fileio/replacement.h"
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

// A caller that found a file itself hands it over through the folder it
// holds open: a link swapped in at that name is then neither read nor
// resolved, so the call cannot be led to the file the link points at. By its
// plain path the same link is followed, as a link the user named must be.
TEST(Source, ThroughAHeldFolderALinkIsNeitherReadNorResolved) {
    TempDir dir, outside;
    writeFile(outside / "target", hex("01"));
    writeFile(dir / "plain", hex("05"));
    ASSERT_EQ(::symlink((outside / "target").c_str(), (dir / "link").c_str()), 0);
    const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    const std::string held = "/proc/self/fd/" + std::to_string(folder) + "/";

    EXPECT_EQ(Source().open((held + "plain").c_str()), Status::ok);
    EXPECT_EQ(Source().open((held + "link").c_str()), Status::sourceOpen);
    EXPECT_EQ(Source().open((dir / "link").c_str()), Status::ok);

    fileio::Replacement result;
    ASSERT_EQ(result.open((held + "link").c_str()), Status::ok);
    ASSERT_EQ(result.write("\x02", 1), Status::ok);
    ASSERT_EQ(result.commit(), Status::ok);
    EXPECT_EQ(readFile(outside / "target"), hex("01"));
    EXPECT_EQ(readFile(dir / "link"), hex("02"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "link"));
    ::close(folder);

    for (const char* other : {"/proc/self/fd/x/a", "/proc/self/fd/3", "/proc/self/fd//a",
                              "/proc/self/fd/3/a/b", "/proc/self/fd/3/..", "/tmp/a"}) {
        EXPECT_FALSE(fileio::throughHeldFolder(other)) << other;
    }
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

// What happens to a source between its reading and its replacement decides
// whether the result may take its place.
TEST(Source, ResultReplacesOnlyTheFileThatWasRead) {
    struct Case {
        const char* what;
        void (*change)(const std::string& path);
        bool unchanged;
    };
    const Case cases[] = {
        {"nothing", [](const std::string&) {}, true},
        {"read by another", [](const std::string& path) { (void)readFile(path); }, true},
        {"appended to",
         [](const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
             (void)!::write(fd, "more", 4);
             ::close(fd);
         },
         false},
        {"overwritten in place, same size",
         [](const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY);
             (void)!::pwrite(fd, "x", 1, 0);
             ::close(fd);
         },
         false},
        {"truncated", [](const std::string& path) { (void)!::truncate(path.c_str(), 10); }, false},
        {"replaced by another file",
         [](const std::string& path) {
             writeFile(path + ".new", randomBytes(4000, 1));
             (void)!::rename((path + ".new").c_str(), path.c_str());
         },
         false},
        {"removed", [](const std::string& path) { (void)!::unlink(path.c_str()); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir / "f";
        const Bytes original = randomBytes(4000, 1);
        writeFile(path, original, 0640);
        Source source;
        ASSERT_EQ(source.open(path.c_str()), Status::ok);
        fileio::Replacement result;
        ASSERT_EQ(result.open(path.c_str()), Status::ok);
        ASSERT_EQ(result.write("new", 3), Status::ok);
        c.change(path);
        const Bytes changed = exists(path) ? readFile(path) : Bytes{};
        EXPECT_EQ(source.unchanged(), c.unchanged);
        EXPECT_EQ(result.commit(0, &source), c.unchanged ? Status::ok : Status::sourceChanged);
        // A changed file stays as it now is, whatever happened to it.
        if (c.unchanged) {
            EXPECT_EQ(readFile(path), hex("6e 65 77"));
        } else if (exists(path)) {
            EXPECT_EQ(readFile(path), changed);
        }
        const auto names = listDir(dir.path());
        EXPECT_LE(names.size(), 1u) << *names.begin();
    }
}

// A second reader waits until the first has closed the file, and then reads
// what the path names by then. (A thread: the lock belongs to the open file,
// which a forked child would share.)
TEST(Source, WaitsForTheHolderAndReadsWhatItLeft) {
    TempDir dir;
    const std::string path = dir / "f";
    writeFile(path, hex("01 02"));
    auto first = std::make_unique<Source>();
    ASSERT_EQ(first->open(path.c_str()), Status::ok);
    std::atomic<bool> done{false};
    Bytes got(3);
    Status status = Status::sourceOpen;
    std::thread second([&] {
        Source source;
        status = source.open(path.c_str());
        if (status == Status::ok && source.size() == 3)
            status = source.readAt(0, got.data(), got.size());
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done) << "the second reader did not wait";
    // The holder puts its result in place, then lets go.
    writeFile(path + ".new", hex("03 04 05"));
    ASSERT_EQ(::rename((path + ".new").c_str(), path.c_str()), 0);
    first.reset();
    second.join();
    EXPECT_EQ(status, Status::ok);
    EXPECT_EQ(got, hex("03 04 05"));
}

}  // namespace
}  // namespace dozo::test
