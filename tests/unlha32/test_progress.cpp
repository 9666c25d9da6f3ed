// Progress and stopping through UnlhaSetProgress: what a pack and an
// extraction report, and what a stop between entries leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

struct Report {
    long long entries, entriesTotal, bytes, bytesTotal;
    bool operator==(const Report&) const = default;
};

// Records every report and asks to stop once `stopAfter` entries are done.
struct Recorder {
    explicit Recorder(long long stopAt = -1) : stopAfter(stopAt) {}

    std::vector<Report> reports;
    long long stopAfter;
    long long stopAtBytes = -1;  // and once this many bytes are done
    // What happens meanwhile, told the entries done at each report.
    std::function<void(long long entries)> meanwhile;

    static int callback(void* context, long long entries, long long entriesTotal, long long bytes,
                        long long bytesTotal) {
        auto* self = static_cast<Recorder*>(context);
        self->reports.push_back({entries, entriesTotal, bytes, bytesTotal});
        if (self->meanwhile) self->meanwhile(entries);
        return (self->stopAfter >= 0 && entries >= self->stopAfter) ||
               (self->stopAtBytes >= 0 && bytes >= self->stopAtBytes);
    }
};

// Registers a recorder for this thread while it lives.
class Registered {
public:
    explicit Registered(Recorder& recorder) {
        library().setProgress(&Recorder::callback, &recorder);
    }
    ~Registered() { library().setProgress(nullptr, nullptr); }
};

// Runs `commandLine` with `recorder` registered while it runs.
Result runFollowed(Recorder& recorder, const std::string& commandLine) {
    const Registered registered(recorder);
    return run(commandLine);
}

class Progress : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "in");
        for (int i = 0; i < 4; ++i) {
            const fs::path file = dir / "in" / ("f" + std::to_string(i));
            writeBytes(file, sampleBinary(1000 * (i + 1), static_cast<unsigned>(i + 1)));
            files.push_back(file);
        }
    }

    // The update command for the first `count` files through a list file.
    std::string packLine(const fs::path& archive, std::size_t count = 4) {
        std::string names;
        for (std::size_t i = 0; i < count; ++i) names += files[i].string() + "\r\n";
        writeText(dir / "list", names);
        return "u -a1 -r2 " + arg(archive) + " " + arg("@" + (dir / "list").string());
    }
    Result pack(const fs::path& archive) { return run(packLine(archive)); }
    // Compressible: 4 KiB of noise over and over.
    static Bytes repeatedNoise(std::size_t size) {
        const Bytes unit = sampleBinary(4096, 7);
        Bytes bytes;
        while (bytes.size() < size) bytes.insert(bytes.end(), unit.begin(), unit.end());
        return bytes;
    }

    TempDir dir;
    ConfigHome config;
    std::vector<fs::path> files;
};

TEST_F(Progress, PackReportsEveryEntryAndStopsBetweenThemLeavingTheArchiveAsItWas) {
    const struct {
        const char* name;
        bool existing;  // an archive of the first two files is there already
        long long stopAfter;
        int code;
    } cases[] = {
        {"NewToTheEnd", false, -1, UNLHA_OK},
        {"NewStoppedAfterTwo", false, 2, UNLHA_CANCELLED},
        {"NewStoppedBeforeAny", false, 0, UNLHA_CANCELLED},
        {"UpdateStoppedAfterThree", true, 3, UNLHA_CANCELLED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path archive = dir / (std::string(c.name) + ".lzh");
        Bytes before;
        if (c.existing) {
            ASSERT_EQ(run(packLine(archive, 2)).code, UNLHA_OK);
            before = readBytes(archive);
        }
        Recorder recorder(c.stopAfter);
        const Result r = runFollowed(recorder, packLine(archive));
        EXPECT_EQ(r.code, c.code) << r.reason;
        const long long total = 1000 + 2000 + 3000 + 4000;
        std::vector<Report> expected;
        long long bytes = 0;
        const long long last = c.stopAfter < 0 ? 4 : c.stopAfter;
        for (long long e = 0; e <= last; ++e) {
            expected.push_back({e, 4, bytes, total});
            bytes += 1000 * (e + 1);
        }
        EXPECT_EQ(recorder.reports, expected);
        if (c.code == UNLHA_OK) {
            ASSERT_EQ(run("x -a1 " + arg(archive) + " " + arg((dir / "x" / c.name).string())).code,
                      UNLHA_OK);
            EXPECT_EQ(listTree(dir / "x" / c.name),
                      (std::vector<std::string>{"f0", "f1", "f2", "f3"}));
        } else if (c.existing) {
            EXPECT_EQ(readBytes(archive), before) << "a stopped update leaves the archive";
        } else {
            EXPECT_FALSE(fs::exists(archive)) << "a stopped pack writes no archive";
        }
    }
}

// Another archiver takes no lock of ours: what it writes while an update
// runs must not vanish under the update's result.
TEST_F(Progress, AnUpdateNeverReplacesWhatAnotherProgramWroteMeanwhile) {
    const fs::path theirs = dir / "theirs.lzh";
    ASSERT_EQ(run("u -a1 " + arg(theirs) + " " + arg(files[3])).code, UNLHA_OK);
    const Bytes written = readBytes(theirs);
    const auto renameOver = [&](const fs::path& archive) {
        fs::copy_file(theirs, dir / "new.tmp", fs::copy_options::overwrite_existing);
        fs::rename(dir / "new.tmp", archive);
    };
    const struct {
        const char* name;
        bool existing;  // an archive of the first two files is there already
        std::function<void(const fs::path& archive)> write;
    } cases[] = {
        {"RewrittenInPlace", true, [&](const fs::path& archive) { writeBytes(archive, written); }},
        {"RenamedOver", true, renameOver},
        {"CreatedMeanwhile", false, renameOver},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path archive = dir / (std::string(c.name) + ".lzh");
        if (c.existing) {
            ASSERT_EQ(run(packLine(archive, 2)).code, UNLHA_OK);
        }
        Recorder recorder;
        // Once an old archive is read, before the result is in place.
        recorder.meanwhile = [&, done = false](long long entries) mutable {
            if (entries < 3 || done) return;
            done = true;
            c.write(archive);
        };
        const Result r = runFollowed(recorder, packLine(archive));
        EXPECT_EQ(r.code, UNLHA_ERROR_WRITE) << r.reason;
        EXPECT_EQ(readBytes(archive), written);
    }
}

TEST_F(Progress, ExtractionStopsBetweenEntriesKeepingTheWholeOnesBefore) {
    ASSERT_EQ(pack(dir / "a.lzh").code, UNLHA_OK);
    for (const long long stopAfter : {0LL, 1LL, 3LL}) {
        SCOPED_TRACE(stopAfter);
        const fs::path out = dir / ("out" + std::to_string(stopAfter));
        Recorder recorder(stopAfter);
        const Result r = runFollowed(recorder, "x -a1 " + arg(dir / "a.lzh") + " " + arg(out));
        EXPECT_EQ(r.code, UNLHA_CANCELLED) << r.reason;
        EXPECT_NE(r.reason.find(std::to_string(stopAfter) + "個の項目"), std::string::npos)
            << r.reason;
        ASSERT_EQ(recorder.reports.size(), static_cast<std::size_t>(stopAfter + 1));
        EXPECT_EQ(recorder.reports.back().entriesTotal, -1);
        std::vector<std::string> placed;
        for (long long i = 0; i < stopAfter; ++i) {
            placed.push_back("f" + std::to_string(i));
            EXPECT_EQ(readBytes(out / placed.back()),
                      readBytes(files[static_cast<std::size_t>(i)]));
        }
        EXPECT_EQ(listTree(out), placed);
    }
}

// One large file moves the bar while it is packed and while it is extracted,
// stored (noise) or compressed, before its entry is done.
TEST_F(Progress, ALargeFileReportsItsBytesOnTheWay) {
    constexpr std::size_t kSize = 6 << 20;
    const Bytes noise = sampleBinary(kSize, 7), repeats = repeatedNoise(kSize);
    for (const auto& [name, bytes] :
         {std::pair{"stored", &noise}, std::pair{"packed", static_cast<const Bytes*>(&repeats)}}) {
        SCOPED_TRACE(name);
        const fs::path file = dir / name;
        writeBytes(file, *bytes);
        const fs::path archive = dir / (std::string(name) + ".lzh");
        Recorder packing, extracting;
        ASSERT_EQ(runFollowed(packing, "u -a1 -m5 " + arg(archive) + " " + arg(file)).code,
                  UNLHA_OK);
        ASSERT_EQ(
            runFollowed(extracting, "x -a1 " + arg(archive) + " " + arg(dir / "x" / name)).code,
            UNLHA_OK);
        for (const Recorder* recorder : {&packing, &extracting}) {
            int onTheWay = 0;
            long long last = 0;
            for (const Report& r : recorder->reports) {
                EXPECT_GE(r.bytes, last) << "bytes never go back";
                last = r.bytes;
                onTheWay +=
                    r.entries == 0 && r.bytes > 0 && r.bytes < static_cast<long long>(kSize);
            }
            EXPECT_GE(onTheWay, 3);
            EXPECT_EQ(last, static_cast<long long>(kSize));
        }
    }
}

// A file written to while it is packed would leave an entry of both its
// versions (its pieces compressed apart may not even decode to their CRC),
// or the first bytes of one that grew: the pack fails instead.
TEST_F(Progress, AFileChangedWhileItIsPackedFailsThePack) {
    constexpr std::size_t kSize = 6 << 20;
    const Bytes noise = sampleBinary(kSize, 7), repeats = repeatedNoise(kSize);
    const struct {
        const char* name;
        const Bytes* bytes;
        bool append;  // else its first megabyte is written over
    } cases[] = {{"RewrittenCompressed", &repeats, false}, {"AppendedStored", &noise, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        writeBytes(file, *c.bytes);
        const fs::path archive = dir / (std::string(c.name) + ".lzh");
        Recorder recorder;
        recorder.meanwhile = [&, done = false](long long) mutable {
            if (done || recorder.reports.back().bytes == 0) return;
            done = true;
            std::FILE* f = std::fopen(file.c_str(), c.append ? "ab" : "r+b");
            ASSERT_NE(f, nullptr);
            const Bytes other = sampleBinary(1 << 20, 8);
            EXPECT_EQ(std::fwrite(other.data(), 1, other.size(), f), other.size());
            std::fclose(f);
        };
        const Result r = runFollowed(recorder, "u -a1 -m5 " + arg(archive) + " " + arg(file));
        EXPECT_EQ(r.code, UNLHA_ERROR_INPUT) << r.reason;
        EXPECT_NE(r.reason.find(file.string()), std::string::npos) << r.reason;
        EXPECT_FALSE(fs::exists(archive));
    }
}

// A stop asked for a few mebibytes into a large file takes effect there, not
// once the file is done: a pack (new or an update) commits nothing; an
// extraction keeps the whole files before it, does not place the one it was
// writing, and tells which one that was.
TEST_F(Progress, AStopInsideALargeFileEndsTheCommandThere) {
    const fs::path large = dir / "in" / "large";
    writeBytes(large, repeatedNoise(12 << 20));
    ASSERT_EQ(run(packLine(dir / "old.lzh", 2)).code, UNLHA_OK);
    const Bytes old = readBytes(dir / "old.lzh");
    files.insert(files.begin() + 1, large);  // f0, large, f1
    ASSERT_EQ(run(packLine(dir / "all.lzh", 3)).code, UNLHA_OK);
    const Bytes all = readBytes(dir / "all.lzh");

    const fs::path out = dir / "out";
    const struct {
        const char* name;
        std::string line;
        fs::path archive;
        const Bytes* before;  // the archive as it must stay; nullptr: there is none
    } cases[] = {
        {"NewPack", "u -a1 -m5 " + arg(dir / "new.lzh") + " " + arg(large), dir / "new.lzh",
         nullptr},
        {"Update", "u -a1 -m5 " + arg(dir / "old.lzh") + " " + arg(large), dir / "old.lzh", &old},
        {"Extract", "x -a1 " + arg(dir / "all.lzh") + " " + arg(out), dir / "all.lzh", &all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        recorder.stopAtBytes = 4 << 20;
        const ToldFailure told;
        const Result r = runFollowed(recorder, c.line);
        EXPECT_EQ(r.code, UNLHA_CANCELLED) << r.reason;
        EXPECT_EQ(told.cause, UNLHA_CAUSE_CANCELLED);
        // Within a mebibyte or so of the stop: nothing more was asked.
        ASSERT_FALSE(recorder.reports.empty());
        EXPECT_LT(recorder.reports.back().bytes, (6 << 20) + 1000 + 2000);
        if (std::string(c.name) == "Extract") {
            EXPECT_EQ(listTree(out), (std::vector<std::string>{"f0"}));
            EXPECT_EQ(readBytes(out / "f0"), readBytes(files[0]));
            EXPECT_EQ(told.name, (out / "large").string());
            EXPECT_NE(r.reason.find((out / "large").string()), std::string::npos) << r.reason;
        } else {
            EXPECT_EQ(told.name, "");
        }
        if (c.before != nullptr) {
            EXPECT_EQ(readBytes(c.archive), *c.before);
        } else {
            EXPECT_FALSE(fs::exists(c.archive));
        }
        // No temporary of the stopped work is left anywhere.
        for (const std::string& entry : listTree(dir.path())) {
            EXPECT_EQ(entry.find(".dozo-"), std::string::npos) << entry;
            EXPECT_EQ(entry.find(".unlha-"), std::string::npos) << entry;
        }
    }
}

TEST_F(Progress, ARegistrationBelongsToItsThreadAlone) {
    // Neither a thread running beside it nor a later one, which may be given
    // the handle of a finished thread that never removed its registration.
    Recorder recorder(0);
    std::thread([&] { library().setProgress(&Recorder::callback, &recorder); }).join();
    const Registered registered(recorder);
    Result other{};
    std::thread([&] { other = pack(dir / "other.lzh"); }).join();
    EXPECT_EQ(other.code, UNLHA_OK) << other.reason;
    EXPECT_TRUE(recorder.reports.empty());
}

}  // namespace
}  // namespace unlhatest
