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

TEST(Placement, SweepRemovesOnlyLeftoversOfDeadProcesses) {
    TempDir dir;
    const std::string dead = std::to_string(deadPid());
    const std::string self = std::to_string(::getpid());
    const std::set<std::string> leftovers = {".a.dozo-" + dead + "-0", ".b.c.unlha-" + dead + "-17",
                                             ".-x-.dozo-" + dead + "-3"};
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
        ".k.dozo-" + dead + "-1",  // the caller's own file
        ".l.dozo-" + dead + "-1",  // held by a writer whose PID this namespace does not show
    };
    for (const auto& name : leftovers) writeFile(dir / name, hex("00"));
    for (const auto& name : others) writeFile(dir / name, hex("00"));
    const std::string folderName = ".d.dozo-" + dead + "-1", linkName = ".s.dozo-" + dead + "-1";
    ASSERT_EQ(::mkdir((dir / folderName).c_str(), 0755), 0);
    ASSERT_EQ(::symlink("a", (dir / linkName).c_str()), 0);

    fileio::Fd held(::open((dir / (".l.dozo-" + dead + "-1")).c_str(), O_RDONLY));
    ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);

    Folder folder(dir.path());
    EXPECT_EQ(fileio::sweepLeftovers(folder.fd, ".k.dozo-" + dead + "-1"), 3);
    auto expected = others;
    expected.insert({folderName, linkName});
    EXPECT_EQ(listDir(dir.path()), expected);
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
