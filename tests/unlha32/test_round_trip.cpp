// Every byte comes back: one table of inputs × methods and levels × threads.
// Each row packs every input into one archive as the packer does (runs of
// files under 2 MiB together, the rest one by one) with 1, 2 and 4 threads,
// which must give the same bytes; our reader and lhasa then extract it byte
// for byte. The inputs cross the places where the encoder's view of the data
// ends: runs of whole files, the largest file compressed whole, a window that
// slides, segment seams with the history before them, blocks, and repeats at
// each dictionary's reach.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <sstream>

#include "lha_test_util.h"
#include "library.h"
#include "unlha32.h"

using unlha::Level;
using unlha::Method;

namespace unlhatest {
namespace {

struct RoundTripInput {
    const char* name;
    Bytes data;
    bool stored;  // kept as -lh0- whatever the method
};

// Built once per process: CTest runs each row in a process of its own.
const std::vector<RoundTripInput>& roundTripInputs() {
    static const std::vector<RoundTripInput> inputs = [] {
        using lhatest::binaryData, lhatest::mixedData, lhatest::textData;
        const Bytes mixed = mixedData((8 << 20) + 4097, 21);
        const auto head = [&mixed](std::size_t n) {
            return Bytes(mixed.begin(), mixed.begin() + static_cast<long>(n));
        };
        return std::vector<RoundTripInput>{
            {"byte", {'x'}, true},
            {"text-3k", textData(3000, 22), false},
            {"noise-5k", binaryData(5000, 23), true},
            {"text-under-64k", textData((64 << 10) - 1, 24), false},
            {"mixed-64k", head(64 << 10), false},
            // More than a megabyte and two dictionaries: the window slides.
            {"mixed-1200k", head(1200 << 10), false},
            {"mixed-under-2m", head((2 << 20) - 1), false},
            // Damaged once by the history's last positions at a segment start.
            {"two-segments", readBytes(testData("two-segments.bin")), false},
            {"mixed-8m", mixed, false},
        };
    }();
    return inputs;
}

class RoundTrip : public ::testing::TestWithParam<std::tuple<Method, Level>> {
protected:
    Method method() const { return std::get<0>(GetParam()); }

    Bytes pack(int threads) {
        const int fd = ::memfd_create("archive", 0);
        std::vector<unlha::ArchiveWriter::FileInput> files;
        for (const RoundTripInput& input : roundTripInputs())
            files.push_back({{input.name, false, 0100644, 1700000000, 0, 0},
                             ::open((dir_ / input.name).c_str(), O_RDONLY | O_CLOEXEC),
                             std::ssize(input.data)});
        unlha::ArchiveWriter writer(fd);
        writer.setThreads(threads);
        writer.setLevel(std::get<1>(GetParam()));
        std::size_t failed = 0;
        EXPECT_TRUE(writer.addFiles(files, method(), &failed) && writer.finish())
            << files[failed].entry.name << ": " << writer.error();
        for (const auto& f : files) ::close(f.fd);
        const Bytes archive = lhatest::contents(fd);
        ::close(fd);
        return archive;
    }

    // Every input, extracted into `folder`, as it was.
    void expectEveryInputIn(const fs::path& folder, const char* reader) {
        for (const RoundTripInput& input : roundTripInputs())
            EXPECT_TRUE(readBytes(folder / input.name) == input.data)
                << reader << ": " << input.name;
    }

    TempDir dir_;
    ConfigHome config_;
};

TEST_P(RoundTrip, EveryInputComesBackWhateverTheThreads) {
    for (const RoundTripInput& input : roundTripInputs()) writeBytes(dir_ / input.name, input.data);
    const Bytes archive = pack(1);
    for (const int threads : {2, 4})
        EXPECT_TRUE(pack(threads) == archive) << threads << " threads gave other bytes";
    const fs::path path = dir_ / "all.lzh";
    writeBytes(path, archive);

    // The method each entry was stored with, from our listing.
    const Result listing = run("l -a1 " + arg(path));
    ASSERT_EQ(listing.code, UNLHA_OK) << listing.reason;
    std::istringstream lines(listing.reason);
    for (const RoundTripInput& input : roundTripInputs()) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << input.name;
        const char* expected = unlha::params(input.stored ? Method::lh0 : method()).id;
        EXPECT_NE(line.find(std::string("\t") + expected + "\t"), std::string::npos) << line;
    }

    const Result ours = run("x -a1 " + arg(path) + " " + arg(dir_ / "ours"));
    ASSERT_EQ(ours.code, UNLHA_OK) << ours.reason;
    expectEveryInputIn(dir_ / "ours", "our reader");

    if (::access("/usr/bin/lhasa", X_OK) != 0) GTEST_SKIP() << "lhasa is not installed";
    fs::create_directories(dir_ / "lhasa");
    ASSERT_EQ(shell("cd " + arg(dir_ / "lhasa") + " && lhasa xq " + arg(path) + " >/dev/null 2>&1"),
              0);
    expectEveryInputIn(dir_ / "lhasa", "lhasa");
}

INSTANTIATE_TEST_SUITE_P(
    Methods, RoundTrip,
    ::testing::Values(std::tuple{Method::lh0, Level::normal},
                      std::tuple{Method::lh5, Level::normal}, std::tuple{Method::lh5, Level::max},
                      std::tuple{Method::lh6, Level::normal}, std::tuple{Method::lh6, Level::max},
                      std::tuple{Method::lh7, Level::normal}, std::tuple{Method::lh7, Level::max}),
    [](const auto& test) {
        return lhatest::methodAndLevel(std::get<0>(test.param), std::get<1>(test.param));
    });

}  // namespace
}  // namespace unlhatest
