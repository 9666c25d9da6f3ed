// Damaged, truncated, reordered and hostile packages: each is refused with
// the right exit code and leaves nothing behind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <tuple>

#include "rivo.h"
#include "support.h"

using namespace dozo::test;
using namespace dozo::rivo;

namespace {

constexpr std::size_t kSealedChunk = kChunkSize + kTagOverhead;

class RivoTamper : public ::testing::Test {
protected:
    void SetUp() override {
        content = randomBytes(3 * kChunkSize + 100, 42);  // three full chunks and a short one
        writeFile(dir / "plain.bin", content);
        ASSERT_EQ(rivo(nullptr, (dir / "plain.bin").c_str(), (dir / "good.exe").c_str(), "pw"),
                  RIVO_OK);
        fs::remove(dir / "plain.bin");
        good = readFile(dir / "good.exe");
        stub = stubOf(good);
        fs::create_directory(dir / "out");
    }

    // Writes a variant as an executable package, runs it, and checks that
    // nothing appeared in the output folder.
    RunResult tryPackage(const Bytes& bytes, const std::string& password = "pw",
                         std::vector<std::string> args = {}) {
        const fs::path p = dir / "variant.exe";
        writeFile(p, bytes);
        fs::permissions(p, fs::perms::owner_all);
        args.insert(args.end(), {"-o", (dir / "out").string()});
        return openPackage(p, password, args);
    }

    std::size_t payload() const { return stub.size(); }
    std::size_t chunkAt(std::size_t i) const {
        return payload() + kHeaderSize + kSealedMetadataSize + i * kSealedChunk;
    }

    TempDir dir;
    Bytes content, good, stub;
};

TEST_F(RivoTamper, TheUntouchedPackageOpens) {
    const RunResult r = tryPackage(good);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir / "out" / "plain.bin"), content);
}

TEST_F(RivoTamper, EveryRegionIsCovered) {
    const std::size_t h = payload();
    const std::size_t end = good.size();
    const struct {
        const char* region;
        std::size_t offset;
        int code;
    } cases[] = {
        {"header magic", h + 0, 3},
        {"header version", h + 8, 3},
        {"header flags", h + 12, 3},
        {"kdf algorithm", h + 16, 3},
        {"opslimit", h + 20, 1},  // a different cost derives a different key
        {"memlimit", h + 25, 1},
        {"chunk size", h + 29, 3},
        {"salt", h + 32, 1},
        {"stream header", h + 48, 3},
        {"key check", h + 72, 1},
        {"sealed size", h + 104, 3},
        {"stub size", h + 112, 3},
        {"reserved", h + 127, 3},
        {"metadata", h + kHeaderSize + 40, 3},
        {"metadata tag", h + kHeaderSize + kSealedMetadataSize - 1, 3},
        {"chunk 0", chunkAt(0) + 5, 3},
        {"chunk 1", chunkAt(1) + kSealedChunk / 2, 3},
        {"chunk 2 tag", chunkAt(3) - 1, 3},
        {"last chunk", end - kTrailerSize - 1, 3},
        {"trailer offset", end - kTrailerSize, 3},
        {"trailer size", end - kTrailerSize + 8, 3},
        {"trailer version", end - kTrailerSize + 16, 3},
        {"trailer reserved", end - kTrailerSize + 21, 3},
        {"trailer magic", end - 1, 3},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        bad[c.offset] ^= 0x02;  // keeps a cost of 1 pass in bounds (3), unlike 0
        const RunResult r = tryPackage(bad);
        EXPECT_EQ(r.exitCode, c.code) << c.region << ": " << r.err;
        EXPECT_TRUE(listDir(dir / "out").empty()) << c.region;
    }
}

TEST_F(RivoTamper, TruncatedAppendedAndSwappedAreRefused) {
    const std::string damaged = "damaged or incomplete", extra = "damaged or has extra data";
    // Each variant with the words its refusal must use.
    std::vector<std::tuple<std::string, Bytes, std::string>> variants;
    const std::size_t payloadBytes = good.size() - payload();
    for (std::size_t cut : {std::size_t{1}, kTrailerSize, kTrailerSize + 1, payloadBytes / 2,
                            payloadBytes - kHeaderSize, payloadBytes - 1, payloadBytes}) {
        variants.emplace_back("cut " + std::to_string(cut),
                              Bytes(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut)),
                              cut == payloadBytes ? "holds no package" : damaged);
    }
    Bytes appended = good;
    appended.push_back(0);
    variants.emplace_back("one byte appended", appended, extra);
    Bytes doubled = good;
    doubled.insert(doubled.end(), good.end() - kTrailerSize, good.end());
    variants.emplace_back("trailer appended again", doubled, extra);
    Bytes twice = good;
    twice.insert(twice.end(), good.begin(), good.end());
    variants.emplace_back("package appended to itself", twice, extra);

    // Whole chunks dropped, with the trailer (and then the header too) fixed
    // up to match: the sizes agree, only authentication can tell.
    Bytes shorter(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(chunkAt(2)));
    std::uint8_t trailer[kTrailerSize];
    encodeTrailer(Trailer{payload(), chunkAt(2) - payload()}, trailer);
    shorter.insert(shorter.end(), trailer, trailer + kTrailerSize);
    variants.emplace_back("last two chunks dropped, trailer fixed", shorter, damaged);
    const std::uint64_t sealed = chunkAt(2) - payload() - kHeaderSize;
    for (int i = 0; i < 8; ++i)
        shorter[payload() + 104 + i] = static_cast<std::uint8_t>(sealed >> (8 * i));
    variants.emplace_back("last two chunks dropped, header fixed", shorter, damaged);

    Bytes swapped = good;
    std::memcpy(swapped.data() + chunkAt(0), good.data() + chunkAt(1), kSealedChunk);
    std::memcpy(swapped.data() + chunkAt(1), good.data() + chunkAt(0), kSealedChunk);
    variants.emplace_back("chunks 0 and 1 swapped", swapped, damaged);

    Bytes repeated = good;
    std::memcpy(repeated.data() + chunkAt(1), good.data() + chunkAt(0), kSealedChunk);
    variants.emplace_back("chunk 0 repeated", repeated, damaged);

    for (const auto& [what, bytes, says] : variants) {
        const RunResult r = tryPackage(bytes);
        EXPECT_EQ(r.exitCode, 3) << what << ": " << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << what << ": " << r.err;
        EXPECT_TRUE(listDir(dir / "out").empty()) << what;
    }
    // The same refusals in Japanese, and from --info.
    const struct {
        Bytes bytes;
        std::string says;
    } japanese[] = {{Bytes(good.begin(), good.end() - 1), "壊れているか不完全です"},
                    {appended, "余分なデータ"}};
    for (const auto& j : japanese) {
        writeFile(dir / "variant.exe", j.bytes, 0700);
        const RunResult r = run(dir / "variant.exe", {"--info"},
                                RunOptions::environment({{"LANG", "ja_JP.UTF-8"}}));
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_NE(r.err.find(j.says), std::string::npos) << r.err;
    }
}

TEST_F(RivoTamper, CutInsideTheProgramSaysDamaged) {
    // The program itself is broken then; whatever part of it is left, it
    // must say so, never crash, report success or leave a file.
    EXPECT_EQ(programSizeOf(stub.data(), stub.size()), stub.size());
    // Cuts in the executable code, in the read-only data, in the data the
    // kernel maps writable, and in the headers after all of them.
    for (const std::size_t keep :
         {std::size_t{16384}, payload() / 2, payload() - 20000, payload() - 1}) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
        for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"--info"}}) {
            const RunResult r = tryPackage(cut, "pw", args);
            EXPECT_EQ(r.exitCode, 3) << keep << ": " << r.err;
            EXPECT_NE(r.err.find("damaged or incomplete"), std::string::npos) << keep << r.err;
            EXPECT_TRUE(listDir(dir / "out").empty()) << keep;
        }
    }
}

// Started from a file manager, the early check says it in an error box too,
// as every other outcome is said, in the user's language; with a terminal
// the terminal alone says it.
TEST_F(RivoTamper, CutInsideTheProgramSaysDamagedInADialogWithoutATerminal) {
    const fs::path bin = dir / "bin", log = dir / "log";
    fs::create_directory(bin);
    const FakeDisplay display;
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(payload() / 2));
    writeFile(dir / "cut.exe", cut, 0755);
    const struct {
        const char* tool;
        std::string lang, path;
        std::vector<std::string> call;  // empty: no dialog
        bool noDisplay = false;
    } cases[] = {
        {"zenity",
         "C",
         bin.string(),
         {"--error", "--no-markup", "--title=Dozo package",
          "--text=The package is damaged or incomplete"}},
        {"zenity",
         "ja_JP.UTF-8",
         "rel:" + bin.string(),
         {"--error", "--title=Dozo パッケージ", "パッケージが壊れている"}},
        {"kdialog", "C", bin.string(), {"--error", "Dozo package", "damaged or incomplete"}},
        {"zenity", "C", "", {}},  // only absolute PATH entries count
        {"zenity", "C", bin.string(), {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.tool << " " << c.lang << " " << c.path
                                          << (c.noDisplay ? " no display" : ""));
        fs::remove_all(bin);
        fs::create_directory(bin);
        fs::remove(log);
        writeDialog(bin / c.tool, log, "pw");
        // Planted where an empty entry points: never run.
        writeDialog(dir / c.tool, dir / "planted", "pw");
        RunOptions o = RunOptions::environment({{"LANG", c.lang}, {"PATH", c.path}});
        if (!c.noDisplay) o.env["DISPLAY"] = display.name();
        o.cwd = dir.path().string();
        const RunResult r = run(dir / "cut.exe", {}, o);
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_FALSE(fs::exists(dir / "planted"));
        const auto calls = dialogCalls(log);
        if (c.call.empty()) {
            EXPECT_TRUE(calls.empty());
            continue;
        }
        ASSERT_EQ(calls.size(), 1u) << r.err;
        for (const std::string& part : c.call) EXPECT_TRUE(hasArgument(calls[0], part)) << part;
    }
}

TEST_F(RivoTamper, FinalTagOnTheLastChunkOnlyAndStoredSizeMatchingTheContent) {
    const std::size_t big = 2 * kChunkSize + 1;
    const struct {
        std::size_t size, storedSize;
        int finalAt;  // 99: no chunk carries it
        int code;
    } cases[] = {
        {big, big, 0, 3},  {big, big, 1, 3},   {big, big, 2, 3},
        {big, big, 99, 3}, {1000, 999, -1, 3}, {big, big, -1, 0},
    };
    for (const auto& c : cases) {
        Craft craft;
        craft.meta.name = "f";
        craft.content = randomBytes(c.size, 1);
        craft.meta.size = c.storedSize;
        craft.finalAt = c.finalAt;
        const RunResult r = tryPackage(craftPackage(stub, craft));
        EXPECT_EQ(r.exitCode, c.code)
            << c.size << " as " << c.storedSize << ", final at " << c.finalAt << ": " << r.err;
        EXPECT_EQ(listDir(dir / "out").empty(), c.code != 0) << c.finalAt;
    }
}

TEST_F(RivoTamper, HostileStoredNamesLandInTheOutputFolder) {
    const struct {
        std::string stored, lands;
    } cases[] = {
        {"../../x", ".._.._x"},
        {"/tmp/abs", "_tmp_abs"},
        {"sub/dir", "sub_dir"},
        {"..", "rivo-restored"},
        {"line\nbreak\x1b[31m", "line_break_[31m"},
    };
    for (const auto& c : cases) {
        Craft craft;
        craft.meta.name = c.stored;
        craft.content = {1, 2, 3};
        craft.meta.size = 3;
        craft.meta.mode = 06755;  // set-id bits are never restored
        const RunResult r = tryPackage(craftPackage(stub, craft));
        ASSERT_EQ(r.exitCode, 0) << c.stored << ": " << r.err;
        EXPECT_EQ(listDir(dir / "out"), std::set<std::string>{c.lands}) << c.stored;
        EXPECT_EQ(fs::status(dir / "out" / c.lands).permissions(), static_cast<fs::perms>(0755));
        fs::remove(dir / "out" / c.lands);
    }
    EXPECT_EQ(listDir(dir), (std::set<std::string>{"good.exe", "out", "variant.exe"}));
}

TEST_F(RivoTamper, HugeKeyDerivationCostIsRefusedBeforeDeriving) {
    const std::size_t h = payload();
    const struct {
        const char* what;
        std::uint32_t ops, memKib;
    } cases[] = {
        {"4 TiB of memory", 3, 0xffffffffu},
        {"2^32-1 passes", 0xffffffffu, 8192},
        {"both", 0xffffffffu, 0xffffffffu},
        {"just over the work bound", 5, 1024 * 1024},
        {"zero passes", 0, 8192},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        for (int i = 0; i < 4; ++i) {
            bad[h + 20 + i] = static_cast<std::uint8_t>(c.ops >> (8 * i));
            bad[h + 24 + i] = static_cast<std::uint8_t>(c.memKib >> (8 * i));
        }
        const RunResult r = tryPackage(bad);
        EXPECT_FALSE(r.timedOut) << c.what;
        EXPECT_EQ(r.exitCode, 3) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find("key-derivation cost"), std::string::npos) << r.err;
        // Refused before any password is asked for, and --info refuses it
        // too instead of describing a cost no package of ours has.
        for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"--info"}}) {
            const RunResult early = run(dir / "variant.exe", args);
            EXPECT_EQ(early.exitCode, 3) << c.what << ": " << early.err;
            EXPECT_NE(early.err.find("key-derivation cost"), std::string::npos) << early.err;
            EXPECT_EQ(early.err.find("password"), std::string::npos) << early.err;
            EXPECT_EQ(early.out, "") << c.what;
        }
    }
}

}  // namespace
