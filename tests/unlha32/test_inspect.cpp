// The read-only commands: "l" against archives we write and ones a peer tool
// writes at every header level (checked against lhasa's own listing), the
// output buffer boundary, and "t" on sound archives.
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "dozo/contracts/unlha32.h"
#include "library.h"
#include "unlha32.h"
#include "writing/lha/crc16.h"

namespace unlhatest {
namespace {

namespace contracts = dozo::contracts;

struct Line {
    std::string size, packed, method, crc, date, name;
    bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Line& l) {
    return os << l.size << '|' << l.packed << '|' << l.method << '|' << l.crc << '|' << l.date
              << '|' << l.name;
}

std::vector<Line> parseListing(const std::string& text) {
    std::vector<Line> lines;
    std::istringstream in(text);
    std::string row;
    while (std::getline(in, row)) {
        Line l;
        std::istringstream fields(row);
        for (std::string* field : {&l.size, &l.packed, &l.method, &l.crc, &l.date})
            std::getline(fields, *field, '\t');
        std::getline(fields, l.name);
        lines.push_back(l);
    }
    return lines;
}

std::string crcOf(const Bytes& data) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", unlha::crc16(0, data));
    return text;
}

std::string localDate(std::int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm parts {};
    ::localtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

TEST(List, ArchiveWeWroteGivesEveryField) {
    TempDir dir;
    ConfigHome config;
    const fs::path tree = dir / "木";
    fs::create_directories(tree / "sub");
    const Bytes text = sampleText(200000, 4);
    const Bytes empty;
    writeBytes(tree / "sub" / "テキスト.txt", text);
    writeBytes(tree / "empty", empty);
    // Even seconds: level-0/1 readers round DOS times, ours must not need to.
    for (const char* p : {"木/sub/テキスト.txt", "木/empty", "木/sub", "木"})
        setMtime(dir / p, 1700000000 + 2 * std::string(p).size());
    const fs::path archive = dir / "a.lzh";
    ASSERT_EQ(run("u -a1 -r2 " + arg(archive) + " " + arg(tree)).code, UNLHA_OK);

    const Result r = run("l -a1 " + arg(archive));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    const std::vector<Line> lines = parseListing(r.reason);
    ASSERT_EQ(lines.size(), 4u) << r.reason;
    const auto date = [&](const char* p) { return localDate(mtimeOf(dir / p)); };
    EXPECT_EQ(lines[0], (Line{"0", "0", "-lhd-", "0000", date("木"), "木/"}));
    EXPECT_EQ(lines[1], (Line{"0", "0", "-lh0-", "0000", date("木/empty"), "木/empty"}));
    EXPECT_EQ(lines[2], (Line{"0", "0", "-lhd-", "0000", date("木/sub"), "木/sub/"}));
    const Line& file = lines[3];
    EXPECT_EQ(file, (Line{std::to_string(text.size()), file.packed, "-lh5-", crcOf(text),
                          date("木/sub/テキスト.txt"), "木/sub/テキスト.txt"}));
    // Everything after the headers is packed data: the sizes must add up.
    const auto packed = std::stoull(file.packed);
    EXPECT_GT(packed, 0u);
    EXPECT_LT(packed + 4 * 24, fs::file_size(archive));
    EXPECT_GT(packed + 4 * 60, fs::file_size(archive));

    EXPECT_EQ(run("t -a1 " + arg(archive)).code, UNLHA_OK);
}

// lhasa's verbose listing: "... PACKED SIZE RATIO METHOD CRC STAMP NAME".
std::vector<Line> lhasaListing(const fs::path& archive) {
    std::vector<Line> lines;
    const std::string out = (archive.parent_path() / "lhasa.txt").string();
    if (shell("lhasa v " + arg(archive) + " > " + arg(out)) != 0) return lines;
    const Bytes text = readBytes(out);
    std::istringstream in(std::string(text.begin(), text.end()));
    std::string row;
    while (std::getline(in, row)) {
        std::istringstream fields(row);
        std::vector<std::string> t{std::istream_iterator<std::string>(fields), {}};
        const auto m = std::find_if(t.begin(), t.end(), [](const std::string& s) {
            return s.size() == 5 && s[0] == '-' && s[1] == 'l' && s[4] == '-';
        });
        if (m == t.end() || m - t.begin() < 3 || t.end() - m < 2) continue;
        lines.push_back({*(m - 2), *(m - 3), *m, *(m + 1), "", t.back()});
    }
    return lines;
}

struct PeerCase {
    int level;
    char method;  // '5'..'7', or '0' for stored
};

class ListPeer : public ::testing::TestWithParam<PeerCase> {};

TEST_P(ListPeer, AgreesWithLhasa) {
    const PeerCase c = GetParam();
    TempDir dir;
    ConfigHome config;
    fs::create_directories(dir / "src" / "docs" / "deep");
    writeBytes(dir / "src" / "text.txt", sampleText(150000, 2));
    writeBytes(dir / "src" / "random.bin", sampleBinary(30000, 9));
    writeBytes(dir / "src" / "docs" / "deep" / "leaf.txt", sampleText(7000, 3));
    const fs::path archive = dir / "peer.lzh";
    ASSERT_EQ(
        jlhaPack(dir / "src", archive, jlhaOptions(c.level, c.method), "text.txt random.bin docs"),
        0);

    const Result r = run("l -a1 " + arg(archive));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    std::vector<Line> ours = parseListing(r.reason);
    for (Line& l : ours) {
        EXPECT_EQ(l.date.size(), 19u) << l;
        l.date.clear();
        // The data is ours to check too.
        if (l.method == "-lhd-") {
            EXPECT_EQ(l.name.back(), '/') << l;
        } else {
            EXPECT_EQ(l.crc, crcOf(readBytes(dir / "src" / l.name))) << l;
        }
    }
    const std::vector<Line> theirs = lhasaListing(archive);
    ASSERT_FALSE(theirs.empty());
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(run("t -a1 " + arg(archive)).code, UNLHA_OK);
}

INSTANTIATE_TEST_SUITE_P(Levels, ListPeer,
                         ::testing::Values(PeerCase{0, '5'}, PeerCase{1, '5'}, PeerCase{1, '0'},
                                           PeerCase{2, '7'}),
                         [](const auto& test) {
                             return "level" + std::to_string(test.param.level) + "_" +
                                    test.param.method;
                         });

TEST(List, ListingThatDoesNotFitIsRefusedWholeAndSaysWhatItNeeds) {
    const fs::path seed = testData("seed-lh5.lzh");
    const std::string command = "l -a1 " + arg(seed);
    const Result roomy = run(command);
    ASSERT_EQ(roomy.code, UNLHA_OK) << roomy.reason;
    const std::size_t needed = roomy.reason.size() + 1;
    const std::size_t digits = std::to_string(needed).size();

    for (const std::size_t size :
         {needed, needed - 1, std::size_t{40}, std::size_t{UNLHA_NEEDED_SIZE_ROOM}, digits + 1,
          digits, std::size_t{1}}) {
        std::string output(size + 8, 'X');
        const int code = library().unlha(nullptr, command.c_str(), output.data(),
                                         static_cast<unsigned long>(size));
        EXPECT_EQ(output.substr(size), std::string(8, 'X')) << size;
        const std::string text(output.c_str());
        if (size == needed) {
            EXPECT_EQ(code, UNLHA_OK);
            EXPECT_EQ(text, roomy.reason);
            continue;
        }
        EXPECT_EQ(code, UNLHA_ERROR_OUTPUT) << size;
        EXPECT_LT(text.size(), size);
        EXPECT_EQ(text.find('\t'), std::string::npos) << "a cut listing: " << text;
        // The number comes whole or not at all: a cut one would ask for too little.
        EXPECT_EQ(contracts::unlhaNeededSize(text.c_str()), size > digits ? needed : 0)
            << size << ": " << text;
    }
    EXPECT_EQ(library().unlha(nullptr, command.c_str(), nullptr, 0), UNLHA_ERROR_OUTPUT);
}

TEST(List, OneMoreCallWithTheNeededSizeGetsTheListing) {
    // Many entries, so the listing outgrows any first guess a caller makes.
    TempDir dir;
    fs::create_directories(dir / "in");
    for (int i = 0; i < 600; ++i) writeText(dir / "in" / ("file-" + std::to_string(i)), "x");
    ASSERT_EQ(run("u -a1 -r2 " + arg(dir / "a.lzh") + " " + arg(dir / "in")).code, UNLHA_OK);
    const std::string command = "l -a1 " + arg(dir / "a.lzh");

    std::vector<char> output(contracts::kUnlhaNeededSizeRoom);
    ASSERT_EQ(library().unlha(nullptr, command.c_str(), output.data(), output.size()),
              contracts::unlha::kOutput);
    const unsigned long needed = contracts::unlhaNeededSize(output.data());
    ASSERT_GT(needed, 600u * 40);
    output.assign(needed, 'X');
    ASSERT_EQ(library().unlha(nullptr, command.c_str(), output.data(), needed),
              contracts::unlha::kOk);
    const std::string listing(output.data());
    EXPECT_EQ(listing.size() + 1, needed);
    EXPECT_EQ(parseListing(listing).size(), 601u);
}

// Every reading command goes through the archive once: a caller's check and
// its unpack read it twice in all, and a listing asked again with the size it
// needs twice, never more.
class OnePass : public TracedTest {};

TEST_F(OnePass, EachReadingCommandOpensTheArchiveOnce) {
    const std::string seed = testData("seed-lh5.lzh").string();
    for (const std::string& command :
         {"l -a1 " + arg(seed), "t -a1 " + arg(seed),
          "x -a1 " + arg(seed) + " " + arg(dir_ / "out"), "--check " + seed}) {
        const fs::path trace = dir_ / "trace";
        ASSERT_EQ(shell(tracedCommand("-e trace=open,openat", command, trace.string()) +
                        " >/dev/null 2>&1"),
                  0)
            << command;
        const std::string calls = readText(trace);
        std::size_t opens = 0;
        for (auto at = calls.find('"' + seed + '"'); at != std::string::npos;
             at = calls.find('"' + seed + '"', at + 1))
            ++opens;
        EXPECT_EQ(opens, 1u) << command << "\n" << calls;
    }
}

TEST(List, MissingAndEmptyArchives) {
    TempDir dir;
    writeText(dir / "file", "x");
    // Missing is said as such, wherever the path stops leading anywhere.
    for (const fs::path& missing : {dir / "missing.lzh", dir / "file" / "a.lzh"}) {
        for (const std::string& command : {"l -a1 " + arg(missing), "t -a1 " + arg(missing),
                                           "x -a1 " + arg(missing) + " " + arg(dir / "out")}) {
            const Result r = run(command);
            EXPECT_EQ(r.code, UNLHA_ERROR_ARCHIVE_OPEN) << command;
            EXPECT_EQ(r.reason, "書庫がありません: " + missing.string()) << command;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_EQ(run("t -a1 " + arg(dir.path())).code, UNLHA_ERROR_NOT_ARCHIVE);
    writeBytes(dir / "zero.lzh", Bytes{0});
    EXPECT_EQ(run("l -a1 " + arg(dir / "zero.lzh")).code, UNLHA_ERROR_NOT_ARCHIVE);
}

}  // namespace
}  // namespace unlhatest
