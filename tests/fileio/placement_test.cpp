#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dozo/fileio/io.h"
#include "dozo/fileio/placement.h"
#include "fault.h"
#include "files.h"
#include "leftover.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

using fileio::Placement;
using Existing = fileio::Placement::Existing;

struct Folder {
    explicit Folder(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY)) {}
    ~Folder() { ::close(fd); }
    const int fd;
};

int place(const TempDir& dir, const std::string& name, const Bytes& content, Existing existing) {
    Folder folder(dir.path());
    Placement p;
    if (int error = p.create(folder.fd, name); error != 0) return error;
    if (!fileio::writeAll(p.fd(), content.data(), content.size())) return errno;
    if (int error = p.flush(); error != 0) return error;
    return p.place(existing);
}

TEST(Placement, ReplacesOrNeverClobbersOnEveryFileSystem) {
    enum What { nothing, file, link };
    for (bool named : {false, true}) {
        for (Existing existing : {Existing::replace, Existing::keep}) {
            for (What there : {nothing, file, link}) {
                SCOPED_TRACE(::testing::Message()
                             << "named " << named << " replace " << (existing == Existing::replace)
                             << " there " << there);
                TempDir dir;
                std::set<std::string> names{"f"};
                if (there == file) writeFile(dir / "f", hex("01"));
                if (there == link) {
                    writeFile(dir / "target", hex("01"));
                    ASSERT_EQ(::symlink("target", (dir / "f").c_str()), 0);
                    names.insert("target");
                }
                Fault fault;
                if (named) withoutUnnamedTemporaries(fault.calls());
                const bool refused = existing == Existing::keep && there != nothing;
                EXPECT_EQ(place(dir, "f", hex("02 03"), existing), refused ? EEXIST : 0);
                EXPECT_EQ(listDir(dir.path()), names);
                EXPECT_EQ(std::filesystem::is_symlink(dir / "f"), refused && there == link);
                EXPECT_EQ(readFile(dir / "f"), refused ? hex("01") : hex("02 03"));
                if (there == link) {
                    EXPECT_EQ(readFile(dir / "target"), hex("01"));
                }
            }
        }
    }
}

TEST(Placement, NamedTemporaryIsRecognisableAndGoesWithTheObject) {
    TempDir dir;
    Folder folder(dir.path());
    Fault fault;
    withoutUnnamedTemporaries(fault.calls());
    const std::string pid = std::to_string(::getpid());
    const std::string longName(250, 'x');
    struct Case {
        std::string name;
        fileio::PlacementOptions options;
        std::string prefix;
    };
    const Case cases[] = {
        {"f", {}, ".f.dozo-" + pid + "-"},
        {"a.lzh", {.tag = fileio::kTagUnlha}, ".a.lzh.unlha-" + pid + "-"},
        {longName, {}, "." + longName.substr(0, 200) + ".dozo-" + pid + "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            Placement p;
            ASSERT_EQ(p.create(folder.fd, c.name, c.options), 0);
            const auto names = listDir(dir.path());
            ASSERT_EQ(names.size(), 1u);
            EXPECT_EQ(names.begin()->rfind(c.prefix, 0), 0u) << *names.begin();
        }
        EXPECT_TRUE(listDir(dir.path()).empty());
    }
}

std::string leftover(const TempDir& dir, const std::string& name) {
    std::string left = killedWriter(dir.path(), name);
    EXPECT_FALSE(left.empty()) << "no leftover of " << name;
    return left;
}

TEST(Placement, SweepRemovesOnlyLeftoversOfDeadProcesses) {
    TempDir dir;
    const std::string dead = std::to_string(deadPid());
    const std::string self = std::to_string(::getpid());
    const std::set<std::string> leftovers = {leftover(dir, "a"), leftover(dir, "b.c"),
                                             leftover(dir, "-x-")};
    // Named like leftovers, but not ours to remove.
    const std::set<std::string> others = {
        "a",
        ".a.dozo-1-0",  // init lives
        ".a.dozo-" + self + "-5",
        ".a.dozo-" + dead + "-x",
        ".a.dozo-0" + dead + "-1",
        "a.dozo-" + dead + "-1",
        ".a.dozo-" + dead + "-1.txt",
        "..dozo-" + dead + "-1",
        ".a.other-" + dead + "-1",
        ".a.dozo-" + dead,
        ".notes.txt.dozo-" + dead + "-0",  // the user's own file of that name
        ".b.unlha-" + dead + "-0",
    };
    for (const auto& name : others) writeFile(dir / name, hex("00"), 0600);
    const std::string folderName = ".d.dozo-" + dead + "-1", linkName = ".s.dozo-" + dead + "-1";
    ASSERT_EQ(::mkdir((dir / folderName).c_str(), 0755), 0);
    ASSERT_EQ(::symlink("a", (dir / linkName).c_str()), 0);
    auto expected = others;
    expected.insert({folderName, linkName});

    // Real leftovers, each kept for one reason.
    const std::string kept = leftover(dir, "k");  // the caller's own file
    const std::string held = leftover(dir, "l");  // its writer (elsewhere) still holds it
    fileio::Fd holder(::open((dir / held).c_str(), O_RDONLY));
    ASSERT_EQ(::flock(holder.get(), LOCK_EX), 0);
    const std::string linked = leftover(dir, "m");  // has another name too
    ASSERT_EQ(::link((dir / linked).c_str(), (dir / "m.saved").c_str()), 0);
    // A leftover's name on another file: renamed over it, or copied.
    const std::string replaced = leftover(dir, "n");
    writeFile(dir / "n.new", hex("00"), 0600);
    ASSERT_EQ(::rename((dir / "n.new").c_str(), (dir / replaced).c_str()), 0);
    const std::string renamed = leftover(dir, "o");
    const std::string renamedTo = ".o.dozo-" + dead + "-9";
    ASSERT_EQ(::rename((dir / renamed).c_str(), (dir / renamedTo).c_str()), 0);
    expected.insert({kept, held, linked, "m.saved", replaced, renamedTo});

    Folder folder(dir.path());
    EXPECT_EQ(fileio::sweepLeftovers(folder.fd, kept), 3);
    EXPECT_EQ(listDir(dir.path()), expected);
    for (const auto& name : leftovers) EXPECT_FALSE(expected.contains(name)) << name;
}

// A file placed under a leftover's name (an archive's entry, a restored
// file) is the user's file, however dead the PID in its name.
TEST(Placement, PlacedFileNamedLikeALeftoverStays) {
    for (bool named : {false, true}) {
        SCOPED_TRACE(named);
        TempDir dir;
        const std::string name = ".notes.txt.dozo-" + std::to_string(deadPid()) + "-0";
        Fault fault;
        if (named) withoutUnnamedTemporaries(fault.calls());
        ASSERT_EQ(place(dir, name, hex("01"), Existing::replace), 0);
        Folder folder(dir.path());
        EXPECT_EQ(fileio::sweepLeftovers(folder.fd), 0);
        EXPECT_EQ(listDir(dir.path()), std::set<std::string>{name});
    }
}

// Root sweeping a shared sticky folder leaves every other user's files, even
// a real leftover of theirs.
TEST(Placement, RootNeverSweepsAnotherUsersFiles) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files away";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
    const std::string theirs = leftover(dir, "f");
    const std::string typed = ".g.dozo-" + std::to_string(deadPid()) + "-0";
    writeFile(dir / typed, hex("00"), 0600);
    for (const std::string& name : {theirs, typed})
        ASSERT_EQ(::chown((dir / name).c_str(), 65534, 65534), 0);
    Folder folder(dir.path());
    EXPECT_EQ(fileio::sweepLeftovers(folder.fd), 0);
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{theirs, typed}));
}

// A writer killed with a named temporary leaves it; the next writer into the
// folder, for any file and whether or not it needs names itself, removes it,
// also when its process placed files there before (and would otherwise take
// the folder for swept).
TEST(Placement, NextRunRemovesWhatAKilledRunLeft) {
    for (const auto& [placedBefore, nextNamed] :
         {std::pair{false, false}, {false, true}, {true, false}, {true, true}}) {
        SCOPED_TRACE(::testing::Message()
                     << "placed before " << placedBefore << " next named " << nextNamed);
        TempDir dir;
        if (placedBefore) {
            ASSERT_EQ(place(dir, "f", hex("01"), Existing::keep), 0);
            // Folder times may only move once per clock tick.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } else {
            writeFile(dir / "f", hex("01"));
        }
        EXPECT_EQ(runInChild([&] {
                      Fault fault;
                      withoutUnnamedTemporaries(fault.calls());
                      Folder folder(dir.path());
                      Placement p;
                      if (p.create(folder.fd, "f") != 0) return 1;
                      (void)fileio::writeAll(p.fd(), "partial", 7);
                      ::raise(SIGKILL);
                      return 0;
                  }),
                  128 + SIGKILL);
        ASSERT_EQ(listDir(dir.path()).size(), 2u);
        Fault fault;
        if (nextNamed) withoutUnnamedTemporaries(fault.calls());
        EXPECT_EQ(place(dir, "g", hex("02"), Existing::keep), 0);
        EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"f", "g"}));
        EXPECT_EQ(readFile(dir / "f"), hex("01"));
    }
}

void removeAndExit(int) {
    fileio::removeNamedTemporaries();
    ::_exit(3);
}

TEST(Placement, SignalHandlerRemovesNamedTemporariesOnly) {
    TempDir dir;
    EXPECT_EQ(runInChild([&] {
                  ::signal(SIGTERM, removeAndExit);
                  Fault fault;
                  withoutUnnamedTemporaries(fault.calls());
                  Folder folder(dir.path());
                  Placement open1, open2, placed, dropped;
                  for (auto* p : {&open1, &open2, &placed, &dropped})
                      if (p->create(folder.fd, p == &placed ? "placed" : "f") != 0) return 1;
                  if (placed.place(Existing::keep) != 0) return 2;
                  dropped.discard();
                  ::raise(SIGTERM);
                  return 0;
              }),
              3);
    EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"placed"});
}

TEST(Io, ResumesInterruptedAndShortTransfers) {
    Fault fault;
    flakyCalls = 0;
    auto& c = fault.calls();
    c.read = flaky<::read, 7>;
    c.pread = flaky<::pread, 7>;
    c.write = flaky<::write, 7>;
    c.pwrite = flaky<::pwrite, 7>;
    for (off_t at : {fileio::kAtPosition, off_t{5}}) {
        SCOPED_TRACE(at);
        TempDir dir;
        const int fd = ::open((dir / "f").c_str(), O_RDWR | O_CREAT, 0600);
        const Bytes data = randomBytes(1000, 4);
        ASSERT_TRUE(fileio::writeAll(fd, data.data(), data.size(), at));
        const off_t start = at == fileio::kAtPosition ? 0 : at;
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), at == fileio::kAtPosition ? 1000 : 0);
        ::lseek(fd, start, SEEK_SET);
        Bytes back(1200);
        // Past the end the count falls short: that is the end of file, not an error.
        EXPECT_EQ(fileio::readFully(fd, back.data(), back.size(), at), 1000);
        back.resize(1000);
        EXPECT_EQ(back, data);
        ::close(fd);
    }
    c.write = [](int, const void*, size_t) -> ssize_t { return 0; };
    errno = 0;
    EXPECT_FALSE(fileio::writeAll(1, "x", 1));
    EXPECT_EQ(errno, EIO);
}

}  // namespace
}  // namespace dozo::test
