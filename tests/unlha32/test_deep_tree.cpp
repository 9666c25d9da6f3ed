// A tree far deeper than the open-file limit, packed and extracted in a child
// that may open 256 files: neither side may keep a descriptor per folder, and
// memory must grow with the depth, not with its square.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "library.h"
#include "sanitizer.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

constexpr int kDepth = 1100;
constexpr rlim_t kOpenFiles = 256;
// Far below what a copy of the path per level costs. AddressSanitizer keeps
// freed memory in quarantine, so its builds check the open files only.
constexpr long long kMemoryGrowth = 8 << 20;
constexpr bool kMemoryMeasured = !dozo::test::kAddressSanitizer;

fs::path deepFolder(const fs::path& root) {
    fs::path path = root;
    for (int i = 0; i < kDepth; ++i) path /= "d";
    return path;
}

// Made one level at a time: the whole path at once is more than the file
// system functions of the standard library take.
void makeChain(const fs::path& root) {
    fs::create_directories(root);
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < kDepth && fd >= 0; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    ::close(fd);
}

// How many "d" folders go down from root, one inside the other.
int chainDepth(const fs::path& root) {
    int depth = 0;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int next; fd >= 0; fd = next, ++depth) {
        next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
    }
    return depth - 1;
}

TEST(DeepTree, PacksAndExtractsWithFewFilesAndLittleMemory) {
    TempDir dir;
    // The standard library's removal keeps a folder open per level.
    struct Removal {
        const fs::path& path;
        ~Removal() { shell("rm -rf " + path.string()); }
    } removal{dir.path()};
    ConfigHome config;
    makeChain(dir / "tree");
    writeText(deepFolder(dir / "tree") / "leaf.txt", "at the bottom\n");
    fs::create_directories(dir / "shallow" / "d");
    writeText(dir / "shallow" / "d" / "leaf.txt", "near the top\n");

    // The same command on a shallow tree first, so that what the memory
    // grows by is what the depth costs, not loading the library or its
    // buffers.
    const auto inChild = [&](const std::string& shallow, const std::string& deep) {
        return dozo::test::runInChild(
            [&] {
                if (const Result r = run(shallow); r.code != UNLHA_OK) return 3;
                Result r{};
                const long long growth = dozo::test::peakMemoryGrowth([&] { r = run(deep); });
                if (r.code != UNLHA_OK) {
                    std::fprintf(stderr, "%s\n", r.reason.c_str());
                    return 1;
                }
                std::fprintf(stderr, "peak memory grew by %lld bytes\n", growth);
                return growth < kMemoryGrowth || !kMemoryMeasured ? 0 : 2;
            },
            dozo::test::ChildLimits{0, kOpenFiles});
    };
    const fs::path archive = dir / "deep.lzh";
    ASSERT_EQ(inChild("u -a1 -r2 " + arg(dir / "shallow.lzh") + " " + arg(dir / "shallow" / "d"),
                      "u -a1 -r2 " + arg(archive) + " " + arg(dir / "tree" / "d")),
              0);
    ASSERT_EQ(inChild("x -a1 " + arg(dir / "shallow.lzh") + " " + arg(dir / "shallow-out"),
                      "x -a1 " + arg(archive) + " " + arg(dir / "out")),
              0);
    EXPECT_EQ(readText(deepFolder(dir / "out") / "leaf.txt"), "at the bottom\n");
    EXPECT_EQ(chainDepth(dir / "out"), kDepth);

    // Every folder made for the one file entry.
    ASSERT_EQ(inChild("x -a1 " + arg(dir / "shallow.lzh") + " " + arg(dir / "shallow-out2"),
                      "x -a1 " + arg(testData("valid/deep-file.lzh")) + " " + arg(dir / "out2")),
              0);
    EXPECT_EQ(readText(deepFolder(dir / "out2") / "leaf.txt"), "A good entry.\n");
    EXPECT_EQ(chainDepth(dir / "out2"), kDepth);
}

}  // namespace
}  // namespace unlhatest
