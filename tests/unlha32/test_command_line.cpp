// The exports as the application calls them: version, command-line forms, the
// output buffer contract and the archive check.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "library.h"
#include "loaded_library.h"
#include "sanitizer.h"
#include "unlha32.h"
#include "writing/lha/encoder.h"

namespace unlhatest {
namespace {

TEST(Exports, VersionIsNonZeroAndFitsSixteenBits) {
    const int version = library().getVersion();
    EXPECT_GT(version, 0);
    EXPECT_LT(version, 32768);
}

TEST(Exports, ExactlyTheSixFunctions) {
    const dozo::test::Library so("libunlha32.so");
    const std::set<std::string> names = dozo::test::exportedSymbols(so.path());
    EXPECT_EQ(names, (std::set<std::string>{"Unlha", "UnlhaCheckArchive", "UnlhaConfigDialog",
                                            "UnlhaGetVersion", "UnlhaSetFailureReport",
                                            "UnlhaSetProgress"}));
}

TEST(CommandLine, RefusesEverythingButTheAcceptedForms) {
    TempDir dir;
    writeText(dir / "a.txt", "a");
    const std::string arc = arg(dir / "a.lzh");
    const std::string file = arg(dir / "a.txt");
    const struct {
        std::string line;
        const char* why;
    } cases[] = {
        {"", "empty"},
        {"   ", "blank"},
        {"a -a1 " + arc + " " + file, "unknown command"},
        {"U -a1 " + arc + " " + file, "commands are lower case"},
        {"u " + arc + " " + file, "missing -a1"},
        {"u -a1 " + arc, "no file"},
        {"u -a1 " + arc + " " + file + " " + file, "two files"},
        {"u -a1 -x " + arc + " " + file, "unknown switch"},
        {"x -a1 -r2 " + arc + " " + arg(dir.path()), "-r2 with extract"},
        {"x -a1 " + arc, "no destination"},
        {"x -a1 " + arc + " \"" + dir.path().string(), "unterminated quote"},
        {"u -a1 " + arc + " \"@\"", "empty list name"},
        {"u -a1 \"\" " + file, "empty archive name"},
        {"l " + arc, "list without -a1"},
        {"t -a1 " + arc + " " + file, "test with a second argument"},
        {"l -a1 -r2 " + arc, "-r2 with list"},
        {"t -a1", "test without archive"},
        {"x -a1 -m7 " + arc + " " + arg(dir.path()), "method with extract"},
        {"u -a1 -o1 " + arc + " " + file, "overwrite with pack"},
        {"u -a1 -m4 " + arc + " " + file, "no such method"},
        {"u -a1 -e3 " + arc + " " + file, "no such level"},
        {"x -a1 -e2 " + arc + " " + arg(dir.path()), "level with extract"},
        {"x -a1 -o2 " + arc + " " + arg(dir.path()), "no such overwrite choice"},
        {"l -a1 -m5 " + arc, "method with list"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.line);
        EXPECT_EQ(r.code, UNLHA_ERROR_COMMAND) << c.why;
        EXPECT_FALSE(r.reason.empty()) << c.why;
    }
    EXPECT_FALSE(fs::exists(dir / "a.lzh"));
    EXPECT_EQ(library().unlha(nullptr, nullptr, nullptr, 0), UNLHA_ERROR_COMMAND);
}

// A switch decides for its one command, whatever the settings say, and leaves
// the settings file alone. The level shows in the packed size: the entry's
// data is what the encoder gives at that level.
TEST(CommandLine, SwitchesReplaceTheSettingsForOneCommand) {
    using unlha::Level;
    const struct {
        const char* settings;
        const char* packSwitch;
        const char* header;
        unlha::Method method;
        Level level;
        const char* extractSwitch;
        bool replaced;
    } cases[] = {
        {"method=lh7\nlevel=max\noverwrite=true\n", "-m5 -e1 ", "-lh5-", unlha::Method::lh5,
         Level::normal, "-o0 ", false},
        {"", "-m6 -e2 ", "-lh6-", unlha::Method::lh6, Level::max, "-o1 ", true},
        {"method=lh5\noverwrite=false\n", "-m7 ", "-lh7-", unlha::Method::lh7, Level::normal, "",
         false},
        {"method=lh6\nlevel=max\noverwrite=true\n", "", "-lh6-", unlha::Method::lh6, Level::max, "",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.packSwitch) + c.extractSwitch + c.settings);
        TempDir dir;
        ConfigHome config;
        config.write(c.settings);
        writeBytes(dir / "text.txt", sampleText(100000, 4));
        const std::string arc = arg(dir / "m.lzh");
        ASSERT_EQ(
            run("u -a1 " + std::string(c.packSwitch) + arc + " " + arg(dir / "text.txt")).code,
            UNLHA_OK);
        const Bytes bytes = readBytes(dir / "m.lzh");
        ASSERT_GT(bytes.size(), 11u);
        EXPECT_EQ(std::string(bytes.begin() + 2, bytes.begin() + 7), c.header);
        const std::uint32_t packed = bytes[7] | bytes[8] << 8 | bytes[9] << 16 | bytes[10] << 24;
        EXPECT_EQ(packed, unlha::compress(readBytes(dir / "text.txt"), c.method, c.level).size());

        fs::create_directories(dir / "x");
        writeText(dir / "x" / "text.txt", "mine");
        const Result r = run("x -a1 " + std::string(c.extractSwitch) + arc + " " + arg(dir / "x"));
        EXPECT_EQ(r.code, c.replaced ? UNLHA_OK : UNLHA_ERROR_SKIPPED) << r.reason;
        const Bytes mine{'m', 'i', 'n', 'e'};
        EXPECT_EQ(readBytes(dir / "x" / "text.txt"),
                  c.replaced ? readBytes(dir / "text.txt") : mine);
        std::ifstream saved(config.settingsFile());
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), c.settings);
    }
}

// Every pack and extraction reads the settings: only from a regular file, and
// only its start. A FIFO planted there held each call waiting for a writer;
// a link to /dev/zero or a huge file filled memory line by line. Each runs in
// a child of its own, limited in time and memory, so a regression fails
// rather than hanging the tests or exhausting the machine.
TEST(CommandLine, SettingsAreReadOnlyFromTheStartOfARegularFile) {
    // Settings of `text`, grown to a gigabyte of zeros if `huge`.
    const auto file = [](std::string text, bool huge) {
        return [text, huge](const fs::path& p) {
            writeText(p, text);
            if (huge) fs::resize_file(p, std::uintmax_t{1} << 30);
        };
    };
    const struct {
        const char* what;
        std::function<void(const fs::path&)> plant;
        const char* header;
    } cases[] = {
        {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "-lh5-"},
        {"a link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
         "-lh5-"},
        {"a huge file, the settings first", file("method=lh7\n", true), "-lh7-"},
        {"a huge file, the settings far into it",
         file(std::string(200 * 1024, '#') + "\nmethod=lh7\n", true), "-lh5-"},
        {"a value cut where the reading stops",
         file(std::string(64 * 1024 - 11, '#') + "\nmethod=lh66\n", false), "-lh5-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ConfigHome config;
        fs::create_directories(config.settingsFile().parent_path());
        c.plant(config.settingsFile());
        writeBytes(dir / "a.txt", sampleText(100000, 4));
        Alone limited;
        // AddressSanitizer's shadow alone needs more address space than the
        // limit: there the time limit stays, and the memory is unwatched.
        limited.environment =
            dozo::test::kAddressSanitizer ? "timeout 20" : "ulimit -v 1000000; timeout 20";
        const Child child =
            runAlone("u -a1 " + arg(dir / "a.lzh") + " " + arg(dir / "a.txt"), limited);
        EXPECT_EQ(child.code, UNLHA_OK) << child.output << child.errors;
        if (child.code == UNLHA_OK) {
            EXPECT_EQ(firstMethod(dir / "a.lzh"), c.header);
        }
    }
}

// Without a home (no HOME, a user the user database does not know, as in
// some containers) the settings are not the current folder's: an unpacked
// download holding .config/dozo/unlha32.conf would choose the method, or
// have extraction replace files.
TEST(CommandLine, WithoutAHomeNoSettingsComeFromTheCurrentFolder) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to run as a user without an entry";
    ASSERT_EQ(::getpwuid(54321), nullptr) << "uid 54321 is known here";
    TempDir dir;
    fs::create_directories(dir / ".config" / "dozo");
    writeText(dir / ".config" / "dozo" / "unlha32.conf", "method=lh7\n");
    writeBytes(dir / "text.txt", sampleText(100000, 4));
    fs::permissions(dir.path(), fs::perms::all);
    Alone unknown;
    unknown.environment = "cd " + arg(dir.path()) +
                          " && env -u HOME -u XDG_CONFIG_HOME /usr/bin/setpriv --reuid=54321 "
                          "--regid=54321 --clear-groups";
    const Child child =
        runAlone("u -a1 " + arg(dir / "a.lzh") + " " + arg(dir / "text.txt"), unknown);
    ASSERT_EQ(child.code, UNLHA_OK) << child.output << child.errors;
    EXPECT_EQ(firstMethod(dir / "a.lzh"), "-lh5-");
}

TEST(OutputBuffer, SizeZeroIsNeverWritten) {
    char output[8];
    std::memset(output, 'Q', sizeof output);
    EXPECT_EQ(library().unlha(nullptr, "bogus", output, 0), UNLHA_ERROR_COMMAND);
    for (char c : output) EXPECT_EQ(c, 'Q');
    // A NULL buffer with a size of 0 is what a careful caller may pass too.
    EXPECT_EQ(library().unlha(nullptr, "bogus", nullptr, 0), UNLHA_ERROR_COMMAND);
}

TEST(OutputBuffer, ReasonIsCutToFitAndTerminated) {
    for (unsigned long size : {1ul, 2ul, 5ul, 7ul, 16ul}) {
        char output[32];
        std::memset(output, 'Q', sizeof output);
        EXPECT_EQ(library().unlha(nullptr, "bogus command", output, size), UNLHA_ERROR_COMMAND);
        const std::size_t length = ::strnlen(output, size);
        ASSERT_LT(length, size) << "not terminated within " << size;
        for (std::size_t i = size; i < sizeof output; ++i)
            ASSERT_EQ(output[i], 'Q') << "byte " << i << " written with size " << size;
        // The reason is Japanese: a cut never splits a UTF-8 sequence.
        std::size_t i = 0;
        while (i < length) {
            const auto lead = static_cast<unsigned char>(output[i]);
            const std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            ASSERT_LE(i + n, length) << "split sequence with size " << size;
            i += n;
        }
    }
}

TEST(OutputBuffer, SuccessLeavesAnEmptyString) {
    TempDir dir;
    writeText(dir / "a.txt", "hello");
    ConfigHome config;
    const Result r = run("u -a1 " + arg(dir / "a.lzh") + " " + arg(dir / "a.txt"));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    EXPECT_EQ(r.reason, "");
}

TEST(CheckArchive, AcceptsOnlyWholeArchives) {
    TempDir dir;
    ConfigHome config;
    writeBytes(dir / "data.bin", sampleText(20000));
    ASSERT_EQ(run("u -a1 " + arg(dir / "good.lzh") + " " + arg(dir / "data.bin")).code, UNLHA_OK);
    const Bytes good = readBytes(dir / "good.lzh");
    ASSERT_GT(good.size(), 100u);

    writeBytes(dir / "empty.lzh", {});
    writeText(dir / "text.lzh", "this is not an archive at all, just some words\n");
    writeBytes(dir / "header-cut.lzh", Bytes(good.begin(), good.begin() + 20));
    writeBytes(dir / "data-cut.lzh", Bytes(good.begin(), good.end() - 40));
    writeBytes(dir / "lone-end-mark.lzh", Bytes{0});

    EXPECT_NE(library().checkArchive((dir / "good.lzh").c_str(), 1), 0);
    for (const char* name : {"missing.lzh", "empty.lzh", "text.lzh", "header-cut.lzh",
                             "data-cut.lzh", "lone-end-mark.lzh"})
        EXPECT_EQ(library().checkArchive((dir / name).c_str(), 1), 0) << name;
    EXPECT_EQ(library().checkArchive(dir.path().c_str(), 1), 0) << "a folder";
    EXPECT_EQ(library().checkArchive(nullptr, 1), 0);
}

TEST(CheckArchive, ReadsEveryHeaderNotOnlyTheFirst) {
    TempDir dir;
    ConfigHome config;
    fs::create_directories(dir / "tree");
    writeBytes(dir / "tree" / "one.txt", sampleText(3000, 1));
    writeBytes(dir / "tree" / "two.txt", sampleText(3000, 2));
    ASSERT_EQ(run("u -a1 -r2 " + arg(dir / "two.lzh") + " " + arg(dir / "tree")).code, UNLHA_OK);
    Bytes bytes = readBytes(dir / "two.lzh");
    // The last header's level-2 CRC covers its whole header; damage its name.
    const std::string last = "two.txt";
    auto at = std::search(bytes.begin(), bytes.end(), last.begin(), last.end());
    ASSERT_NE(at, bytes.end());
    *at = 'T';
    writeBytes(dir / "two.lzh", bytes);
    EXPECT_EQ(library().checkArchive((dir / "two.lzh").c_str(), 1), 0);
}

}  // namespace
}  // namespace unlhatest
