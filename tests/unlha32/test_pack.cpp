// Packing and updating through the library: the list file as the application
// writes it, recursion, stored names, updates that keep, add and replace
// entries, and failures that leave an existing archive as it was.
#include <gtest/gtest.h>

#include <dozo/contracts/list_file.h>
#include <dozo/fileio/printable.h>
#include <sys/stat.h>

#include <algorithm>

#include "build_tree.h"
#include "leftover.h"
#include "library.h"
#include "unlha32.h"

namespace unlhatest {
namespace {

class Pack : public ::testing::Test {
protected:
    // Extracts archive into a fresh folder and returns its tree.
    std::vector<std::string> contents(const fs::path& archive, const fs::path& out) {
        const Result r = run("x -a1 " + arg(archive) + " " + arg(out.string() + "\\"));
        EXPECT_EQ(r.code, UNLHA_OK) << r.reason;
        return listTree(out);
    }

    Result packList(const fs::path& archive, const std::string& listText) {
        writeText(dir / "LPF.tmp", listText);
        return run("u -a1 -r2 " + arg(archive) + " " + arg("@" + (dir / "LPF.tmp").string()));
    }

    // A list line as the application writes it: full paths, single spaces, CR LF.
    std::string listLine(std::initializer_list<const char*> names) const {
        std::string line;
        for (const char* name : names) line += (line.empty() ? "" : " ") + (dir / name).string();
        return line + "\r\n";
    }

    TempDir dir;
    ConfigHome config;
};

TEST_F(Pack, ListFileAsTheApplicationWritesIt) {
    // One line, names joined by single spaces with no quoting, then CR LF; the
    // names hold spaces and Japanese.
    fs::create_directories(dir / "in" / "my folder" / "empty");
    writeBytes(dir / "in" / "report 2024.txt", sampleText(5000, 1));
    writeBytes(dir / "in" / "書類.bin", sampleBinary(3000, 2));
    writeBytes(dir / "in" / "my folder" / "inside file.txt", sampleText(7000, 3));
    const Result r =
        packList(dir / "out.lzh", listLine({"in/report 2024.txt", "in/書類.bin", "in/my folder"}));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;

    EXPECT_EQ(
        contents(dir / "out.lzh", dir / "x"),
        (std::vector<std::string>{"my folder/", "my folder/empty/", "my folder/inside file.txt",
                                  "report 2024.txt", "書類.bin"}));
    EXPECT_EQ(readBytes(dir / "x" / "書類.bin"), readBytes(dir / "in" / "書類.bin"));
    EXPECT_EQ(readBytes(dir / "x" / "my folder" / "inside file.txt"),
              readBytes(dir / "in" / "my folder" / "inside file.txt"));
}

TEST_F(Pack, ListFileQuotedAndOnePerLine) {
    writeText(dir / "one two.txt", "1 2\n");
    writeText(dir / "three.txt", "3\n");
    writeText(dir / "four.txt", "4\n");
    const Result r = packList(dir / "out.lzh", "\"" + (dir / "one two.txt").string() + "\" " +
                                                   (dir / "three.txt").string() + "\n" +
                                                   (dir / "four.txt").string() + "\n\n");
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    EXPECT_EQ(contents(dir / "out.lzh", dir / "x"),
              (std::vector<std::string>{"four.txt", "one two.txt", "three.txt"}));
}

// The two halves of the list file: a name the callers' writer lets through
// comes back from the archiver's parser whole, wherever a control byte, blank
// or quote stands in it; the writer refuses only what the format cannot carry.
TEST_F(Pack, ListFileCarriesEveryControlByteOrRefusesTheName) {
    fs::create_directories(dir / "in");
    std::vector<std::string> names{"\"lead", "trail\"", "two\"\"quotes", " spaced \" out "};
    for (int byte = 0x01; byte <= 0x1F; ++byte) {
        const std::string c(1, static_cast<char>(byte));
        const std::string tag = std::to_string(byte);
        for (const std::string& name :
             {tag + c + "mid", c + tag + "lead", tag + "trail" + c, tag + " \"q" + c + "\" "}) {
            if (dozo::contracts::isListFileLineBreak(c[0])) {
                EXPECT_EQ(dozo::contracts::listFileName((dir / "in" / name).string()), std::nullopt)
                    << byte;
            } else {
                names.push_back(name);
            }
        }
    }
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        writeText(dir / "in" / names[i], names[i]);
        const auto line = dozo::contracts::listFileName((dir / "in" / names[i]).string());
        ASSERT_TRUE(line) << ::testing::PrintToString(names[i]);
        list += *line + (i % 2 == 0 ? "\n" : "\r\n");
    }
    EXPECT_EQ(dozo::contracts::listFileName(""), std::nullopt);
    EXPECT_EQ(dozo::contracts::listFileName(std::string_view("a\0b", 3)), std::nullopt);

    const Result r = packList(dir / "out.lzh", list);
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(contents(dir / "out.lzh", dir / "x"), names);
    for (const std::string& name : names)
        EXPECT_EQ(readText(dir / "x" / name), name) << ::testing::PrintToString(name);
}

TEST_F(Pack, FoldersKeepTheirTimesAndFilesTheirModes) {
    fs::create_directories(dir / "tree" / "sub");
    writeText(dir / "tree" / "sub" / "run.sh", "#!/bin/sh\n");
    fs::permissions(dir / "tree" / "sub" / "run.sh", fs::perms(0750));
    const std::pair<const char*, std::int64_t> times[] = {
        {"tree/sub/run.sh", 1500000000}, {"tree/sub", 1400000000}, {"tree", 1300000000}};
    for (const auto& [path, time] : times) setMtime(dir / path, time);
    ASSERT_EQ(run("u -a1 -r2 " + arg(dir / "t.lzh") + " " + arg(dir / "tree")).code, UNLHA_OK);

    contents(dir / "t.lzh", dir / "x");
    for (const auto& [path, time] : times) EXPECT_EQ(mtimeOf(dir / "x" / path), time) << path;
    EXPECT_EQ(fs::status(dir / "x" / "tree" / "sub" / "run.sh").permissions() & fs::perms::all,
              fs::perms(0750));
}

TEST_F(Pack, LinksInATreeAreSkippedWithAWarningAndNamedOnesFollowed) {
    // Links met in a folder are not followed, wherever they point: a file or
    // a folder outside the tree, back up the tree, nowhere. Each is named in
    // a warning; a FIFO neither hangs nor fails the pack.
    fs::create_directories(dir / "tree" / "sub");
    fs::create_directories(dir / "outside" / "folder");
    writeText(dir / "tree" / "sub" / "real.txt", "real\n");
    writeText(dir / "outside" / "secret.txt", "secret\n");
    writeText(dir / "outside" / "folder" / "more.txt", "more\n");
    fs::create_directory_symlink("..", dir / "tree" / "sub" / "loop");
    fs::create_symlink("nowhere", dir / "tree" / "dangling");
    fs::create_symlink("sub/real.txt", dir / "tree" / "alias.txt");
    fs::create_symlink(dir / "outside" / "secret.txt", dir / "tree" / "secret.txt");
    fs::create_directory_symlink(dir / "outside" / "folder", dir / "tree" / "folder");
    ASSERT_EQ(::mkfifo((dir / "tree" / "pipe").c_str(), 0600), 0);

    const Result r = run("u -a1 -r2 " + arg(dir / "t.lzh") + " " + arg(dir / "tree"));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    EXPECT_EQ(contents(dir / "t.lzh", dir / "x"),
              (std::vector<std::string>{"tree/", "tree/sub/", "tree/sub/real.txt"}));
    for (const char* link : {"sub/loop", "dangling", "alias.txt", "secret.txt", "folder"}) {
        EXPECT_NE(r.reason.find("警告: リンクはたどらず、格納しません: " +
                                (dir / "tree" / link).string() + "\n"),
                  std::string::npos)
            << link << "\n"
            << r.reason;
    }

    // Named by the caller, in the list, a link is followed: to a file and to
    // a folder.
    const Result named = packList(dir / "n.lzh", listLine({"tree/secret.txt", "tree/folder"}));
    ASSERT_EQ(named.code, UNLHA_OK) << named.reason;
    EXPECT_EQ(contents(dir / "n.lzh", dir / "y"),
              (std::vector<std::string>{"folder/", "folder/more.txt", "secret.txt"}));
}

// A name that readers could not give back as it is stays out of the archive,
// named in a warning: bytes that are not UTF-8 (libarchive then refuses the
// whole archive) and a backslash (read as a separator, so "sub\f.txt" beside
// sub/f.txt would be a second entry for one path). Named by the caller, such
// a file fails the pack.
TEST_F(Pack, NamesReadersCannotGiveBackAreLeftOutWithAWarning) {
    const struct {
        const char* name;  // as on disk, in the folder "tree"
        bool folder;
        const char* warning;  // then the path as shown
    } cases[] = {
        {"x\xe9.txt", false, "警告: UTF-8でない名前は格納しません: "},
        {"bad\xff", true, "警告: UTF-8でない名前は格納しません: "},
        {"a\\b.txt", false, "警告: 「\\」を含む名前は格納しません: "},
        {"sub\\f.txt", false, "警告: 「\\」を含む名前は格納しません: "},
    };
    fs::create_directories(dir / "tree" / "sub");
    writeText(dir / "tree" / "ok.txt", "ok\n");
    writeText(dir / "tree" / "sub" / "f.txt", "in the folder\n");
    for (const auto& c : cases) {
        if (c.folder) {
            fs::create_directories(dir / "tree" / c.name);
            writeText(dir / "tree" / c.name / "inner.txt", "inner\n");
        } else {
            writeText(dir / "tree" / c.name, "left out\n");
        }
    }

    const Result r = run("u -a1 -r2 " + arg(dir / "t.lzh") + " " + arg(dir / "tree"));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    for (const auto& c : cases) {
        EXPECT_NE(r.reason.find(c.warning +
                                dozo::fileio::printable((dir / "tree" / c.name).string()) + "\n"),
                  std::string::npos)
            << c.name << "\n"
            << r.reason;
    }
    EXPECT_EQ(run("t -a1 " + arg(dir / "t.lzh")).code, UNLHA_OK);
    EXPECT_EQ(contents(dir / "t.lzh", dir / "x"),
              (std::vector<std::string>{"tree/", "tree/ok.txt", "tree/sub/", "tree/sub/f.txt"}));
    EXPECT_EQ(readText(dir / "x" / "tree" / "sub" / "f.txt"), "in the folder\n");

    for (const auto& c : cases) {
        const Result named =
            run("u -a1 -r2 " + arg(dir / "n.lzh") + " " + arg(dir / "tree" / c.name));
        EXPECT_EQ(named.code, UNLHA_ERROR_INPUT) << c.name;
        EXPECT_FALSE(fs::exists(dir / "n.lzh")) << c.name;
    }
}

// The tree changes after the walk, before its files are read: the progress
// callback, first called once the walk is done, makes the change. A folder
// swapped for a link to one outside must not have that one's files packed
// under the tree's names; a file saved anew in its folder is still packed.
TEST_F(Pack, FilesAreReadFromTheFoldersTheWalkFound) {
    struct Case {
        const char* name;
        const char* swapped;  // the folder made a link to "outside", or the file saved anew
        int code;
    };
    for (const Case& c : {Case{"folder", "tree/a/b", UNLHA_ERROR_INPUT},
                          Case{"folder above", "tree/a", UNLHA_ERROR_INPUT},
                          Case{"file saved anew", "tree/a/b/f.txt", UNLHA_OK}}) {
        SCOPED_TRACE(c.name);
        TempDir here;
        fs::create_directories(here / "tree/a/b");
        fs::create_directories(here / "outside/b");
        writeText(here / "tree/a/b/f.txt", "public");
        writeText(here / "outside/f.txt", "secret");
        writeText(here / "outside/b/f.txt", "secret");
        struct Change {
            fs::path root;
            std::string swapped;
            bool done = false;
            static int callback(void* context, long long, long long, long long, long long) {
                auto* self = static_cast<Change*>(context);
                if (self->done) return 0;
                self->done = true;
                const fs::path at = self->root / self->swapped;
                if (at.extension() == ".txt") {
                    writeText(self->root / "saved", "saved");
                    fs::rename(self->root / "saved", at);
                } else {
                    fs::rename(at, self->root / "moved");
                    fs::create_directory_symlink(self->root / "outside", at);
                }
                return 0;
            }
        } change{here.path(), c.swapped};
        library().setProgress(&Change::callback, &change);
        const Result r = run("u -a1 -r2 " + arg(here / "t.lzh") + " " + arg(here / "tree"));
        library().setProgress(nullptr, nullptr);
        EXPECT_TRUE(change.done);
        ASSERT_EQ(r.code, c.code) << r.reason;
        if (r.code != UNLHA_OK) {
            EXPECT_FALSE(fs::exists(here / "t.lzh"));
            continue;
        }
        contents(here / "t.lzh", here / "x");
        EXPECT_EQ(readText(here / "x/tree/a/b/f.txt"), "saved");
    }
}

TEST_F(Pack, PlainFileIsStoredUnderItsNameOnly) {
    fs::create_directories(dir / "a" / "b");
    writeText(dir / "a" / "b" / "deep.txt", "deep\n");
    ASSERT_EQ(run("u -a1 " + arg(dir / "one.lzh") + " " + arg(dir / "a" / "b" / "deep.txt")).code,
              UNLHA_OK);
    EXPECT_EQ(contents(dir / "one.lzh", dir / "x"), (std::vector<std::string>{"deep.txt"}));
}

TEST_F(Pack, UpdateAddsReplacesNewerAndKeepsTheRest) {
    const auto write = [&](const char* name, const char* text, std::int64_t time) {
        writeText(dir / name, text);
        setMtime(dir / name, time);
    };
    write("keep.txt", "keep v1\n", 1600000000);
    write("newer.txt", "newer v1\n", 1600000000);
    write("older.txt", "older v1\n", 1600000000);
    ASSERT_EQ(packList(dir / "u.lzh", listLine({"keep.txt", "newer.txt", "older.txt"})).code,
              UNLHA_OK);

    write("newer.txt", "newer v2\n", 1700000000);
    write("older.txt", "older v2\n", 1500000000);
    writeText(dir / "added.txt", "added\n");
    fs::remove(dir / "keep.txt");
    const Result r = packList(dir / "u.lzh", listLine({"newer.txt", "older.txt", "added.txt"}));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    // The older file is not stored, and the caller hears so.
    EXPECT_EQ(r.reason, "警告: 書庫の項目の方が新しいため格納しません: " +
                            (dir / "older.txt").string() + "\n");

    EXPECT_EQ(contents(dir / "u.lzh", dir / "x"),
              (std::vector<std::string>{"added.txt", "keep.txt", "newer.txt", "older.txt"}));
    for (const auto& [name, text] : {std::pair{"keep.txt", "keep v1\n"},
                                     {"newer.txt", "newer v2\n"},
                                     {"older.txt", "older v1\n"},
                                     {"added.txt", "added\n"}})
        EXPECT_EQ(readText(dir / "x" / name), text) << name;
}

TEST_F(Pack, UpdateReplacesAnEntryHoweverItsPathIsSpelled) {
    // The archive stores "sub\f.txt" and "./sub/g.txt"; a second entry for
    // either path would leave the stale one first, and extraction (keeping
    // existing files) would give it.
    fs::copy_file(testData("valid/spelled-paths.lzh"), dir / "u.lzh");
    fs::create_directories(dir / "sub");
    for (const char* name : {"f.txt", "g.txt"})
        writeText(dir / "sub" / name, std::string("new ") + name);
    const Result r = run("u -a1 -r2 " + arg(dir / "u.lzh") + " " + arg(dir / "sub"));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;

    const Result listing = run("l -a1 " + arg(dir / "u.lzh"));
    EXPECT_EQ(std::count(listing.reason.begin(), listing.reason.end(), '\n'), 3) << listing.reason;
    EXPECT_EQ(contents(dir / "u.lzh", dir / "x"),
              (std::vector<std::string>{"sub/", "sub/f.txt", "sub/g.txt"}));
    for (const char* name : {"f.txt", "g.txt"})
        EXPECT_EQ(readText(dir / "x" / "sub" / name), std::string("new ") + name) << name;
}

TEST_F(Pack, UpdateRefusesAFileWhereTheArchiveHasAFolderAndTheOtherWayRound) {
    // A kept folder entry would stand for the file (counted as packed, its
    // bytes nowhere), or a file would leave the entries under it no folder.
    fs::create_directories(dir / "tree" / "x");
    writeText(dir / "tree" / "x" / "in.txt", "in\n");
    fs::create_directories(dir / "other");
    writeText(dir / "other" / "x", "a file\n");
    ASSERT_EQ(run("u -a1 -r2 " + arg(dir / "folder.lzh") + " " + arg(dir / "tree" / "x")).code,
              UNLHA_OK);
    ASSERT_EQ(run("u -a1 " + arg(dir / "file.lzh") + " " + arg(dir / "other" / "x")).code,
              UNLHA_OK);
    // jlha stores the file's path alone, with no entry for its folder.
    ASSERT_EQ(jlhaPack(dir / "tree", dir / "under.lzh", jlhaOptions(2, '5'), "x/in.txt"), 0);
    const struct {
        const char* archive;
        const char* input;
        std::int64_t mtime;  // the input's; the archive's entries are of now
    } cases[] = {
        {"folder.lzh", "other/x", 1500000000}, {"folder.lzh", "other/x", 4000000000},
        {"under.lzh", "other/x", 4000000000},  {"file.lzh", "tree/x", 1500000000},
        {"file.lzh", "tree/x", 4000000000},
    };
    for (const auto& c : cases) {
        const std::string what =
            std::string(c.archive) + " " + c.input + " " + std::to_string(c.mtime);
        setMtime(dir / c.input, c.mtime);
        const Bytes before = readBytes(dir / c.archive);
        const Result r = run("u -a1 -r2 " + arg(dir / c.archive) + " " + arg(dir / c.input));
        EXPECT_EQ(r.code, UNLHA_ERROR_INPUT) << what << ": " << r.reason;
        EXPECT_NE(r.reason.find(": x"), std::string::npos) << what << ": " << r.reason;
        EXPECT_EQ(readBytes(dir / c.archive), before) << what;
    }
}

TEST_F(Pack, UpdateKeepsTheBytesAroundTheEntries) {
    // A self-extracting archive's program in front, and what follows the end
    // mark (a second archive put after the first, say): no reader shows them
    // as entries, yet they are the user's.
    writeText(dir / "b.txt", "b v1\n");
    setMtime(dir / "b.txt", 1600000000);
    ASSERT_EQ(packList(dir / "other.lzh", listLine({"b.txt"})).code, UNLHA_OK);
    writeText(dir / "a.txt", "a v1\n");
    setMtime(dir / "a.txt", 1600000000);
    ASSERT_EQ(packList(dir / "plain.lzh", listLine({"a.txt", "b.txt"})).code, UNLHA_OK);
    Bytes program = sampleBinary(3000, 5);
    program[0] = 'M';
    program[1] = 'Z';
    const struct {
        const char* what;
        Bytes front, back;
        const char* input;  // replaces its entry, or is added
    } cases[] = {
        {"program, first entry replaced", program, {}, "a.txt"},
        {"program, a file added", program, {}, "c.txt"},
        {"text after the end mark", {}, {'n', 'o', 't', 'e', '\n'}, "c.txt"},
        {"an archive after the end mark", {}, readBytes(dir / "other.lzh"), "a.txt"},
    };
    const Bytes plain = readBytes(dir / "plain.lzh");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes archive = c.front;
        archive.insert(archive.end(), plain.begin(), plain.end());
        archive.insert(archive.end(), c.back.begin(), c.back.end());
        writeBytes(dir / "u.lzh", archive);
        writeText(dir / c.input, std::string(c.input) + " v2\n");
        setMtime(dir / c.input, 1700000000);
        ASSERT_EQ(run("u -a1 " + arg(dir / "u.lzh") + " " + arg(dir / c.input)).code, UNLHA_OK);
        const Bytes after = readBytes(dir / "u.lzh");
        ASSERT_GT(after.size(), c.front.size() + c.back.size());
        EXPECT_TRUE(std::equal(c.front.begin(), c.front.end(), after.begin()));
        EXPECT_TRUE(std::equal(c.back.begin(), c.back.end(), after.end() - std::ssize(c.back)));
        EXPECT_EQ(after[after.size() - c.back.size() - 1], 0) << "the end mark";
        fs::remove_all(dir / "x");
        contents(dir / "u.lzh", dir / "x");
        EXPECT_EQ(readText(dir / "x" / c.input), std::string(c.input) + " v2\n");
        EXPECT_EQ(readText(dir / "x" / "b.txt"), "b v1\n");
        writeText(dir / "a.txt", "a v1\n");
        setMtime(dir / "a.txt", 1600000000);
    }
}

TEST_F(Pack, UpdateOfANameHeldTwiceLeavesNoOlderEntryAfterTheNewOne) {
    // Readers that replace existing files (every peer) give a name's last
    // entry: an older one left after the new would come back in its stead.
    const struct {
        std::int64_t mtime;  // the input's; both entries are of 2020
        std::size_t entries;
        const char* extracted;
    } cases[] = {{1700000000, 1, "new\n"}, {1500000000, 2, "second\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mtime);
        fs::copy_file(testData("valid/same-name-twice.lzh"), dir / "twice.lzh",
                      fs::copy_options::overwrite_existing);
        writeText(dir / "same.txt", "new\n");
        setMtime(dir / "same.txt", c.mtime);
        ASSERT_EQ(run("u -a1 " + arg(dir / "twice.lzh") + " " + arg(dir / "same.txt")).code,
                  UNLHA_OK);
        const Result listing = run("l -a1 " + arg(dir / "twice.lzh"));
        EXPECT_EQ(static_cast<std::size_t>(
                      std::count(listing.reason.begin(), listing.reason.end(), '\n')),
                  c.entries)
            << listing.reason;
        fs::remove_all(dir / "x");
        ASSERT_EQ(run("x -a1 -o1 " + arg(dir / "twice.lzh") + " " + arg(dir / "x")).code, UNLHA_OK);
        EXPECT_EQ(readText(dir / "x" / "same.txt"), c.extracted);
        EXPECT_EQ(shell("lhasa t " + arg(dir / "twice.lzh") + " >/dev/null 2>&1"), 0);
    }
}

TEST_F(Pack, UpdateKeepsTheMethodOfKeptEntries) {
    // jlha writes -lh7-; our update (default -lh5-) must not re-encode it
    // under another method.
    writeBytes(dir / "big.txt", sampleText(50000, 9));
    ASSERT_EQ(jlhaPack(dir, dir / "peer.lzh", "-c2o7", "big.txt"), 0);
    writeText(dir / "new.txt", "new\n");
    ASSERT_EQ(run("u -a1 " + arg(dir / "peer.lzh") + " " + arg(dir / "new.txt")).code, UNLHA_OK);
    EXPECT_EQ(firstMethod(dir / "peer.lzh"), "-lh7-");
    contents(dir / "peer.lzh", dir / "x");
    EXPECT_EQ(readBytes(dir / "x" / "big.txt"), readBytes(dir / "big.txt"));
}

TEST_F(Pack, FailuresLeaveTheExistingArchiveAsItWas) {
    writeText(dir / "a.txt", "a\n");
    ASSERT_EQ(run("u -a1 " + arg(dir / "arc.lzh") + " " + arg(dir / "a.txt")).code, UNLHA_OK);
    const Bytes before = readBytes(dir / "arc.lzh");

    fs::create_directories(dir / "other");
    writeText(dir / "other" / "a.txt", "other a\n");
    // A missing file, two files of one name, an empty list.
    for (const std::string& list :
         {listLine({"missing.txt"}), listLine({"a.txt", "other/a.txt"}), std::string()}) {
        const Result r = packList(dir / "arc.lzh", list);
        EXPECT_EQ(r.code, UNLHA_ERROR_INPUT) << list;
        EXPECT_FALSE(r.reason.empty());
        EXPECT_EQ(readBytes(dir / "arc.lzh"), before) << list;
    }
    EXPECT_EQ(
        run("u -a1 -r2 " + arg(dir / "arc.lzh") + " " + arg("@" + (dir / "nolist").string())).code,
        UNLHA_ERROR_INPUT);

    // An existing file that is not an archive is never replaced by one.
    writeText(dir / "notes.lzh", "my notes, not an archive\n");
    const Bytes notes = readBytes(dir / "notes.lzh");
    EXPECT_EQ(run("u -a1 " + arg(dir / "notes.lzh") + " " + arg(dir / "a.txt")).code,
              UNLHA_ERROR_NOT_ARCHIVE);
    EXPECT_EQ(readBytes(dir / "notes.lzh"), notes);

    // An archive cut short, or ending without its end mark, is not taken for
    // a shorter one.
    writeText(dir / "b.txt", "b\n");
    for (const std::size_t cut : {std::size_t{1}, std::size_t{2}, before.size() - 5}) {
        const Bytes shorter(before.begin(), before.end() - static_cast<std::ptrdiff_t>(cut));
        writeBytes(dir / "short.lzh", shorter);
        EXPECT_NE(run("u -a1 " + arg(dir / "short.lzh") + " " + arg(dir / "b.txt")).code, UNLHA_OK)
            << cut;
        EXPECT_EQ(readBytes(dir / "short.lzh"), shorter) << cut;
    }

    // Damaged data in a kept entry is carried over as it is, never dropped.
    Bytes damaged = before;
    damaged[damaged.size() - 3] ^= 0xFF;
    writeBytes(dir / "damaged.lzh", damaged);
    ASSERT_EQ(run("u -a1 " + arg(dir / "damaged.lzh") + " " + arg(dir / "b.txt")).code, UNLHA_OK);
    const Bytes updated = readBytes(dir / "damaged.lzh");
    EXPECT_TRUE(std::equal(damaged.begin(), damaged.end() - 1, updated.begin()));
    EXPECT_NE(run("t -a1 " + arg(dir / "damaged.lzh")).code, UNLHA_OK);

    // Nor is one cut right after an entry: its end mark is missing.
    const Bytes cut(before.begin(), before.end() - 1);
    ASSERT_EQ(before.back(), 0);
    writeBytes(dir / "cut.lzh", cut);
    EXPECT_EQ(run("u -a1 " + arg(dir / "cut.lzh") + " " + arg(dir / "b.txt")).code,
              UNLHA_ERROR_NOT_ARCHIVE);
    EXPECT_EQ(readBytes(dir / "cut.lzh"), cut);

    // Nothing is left beside the archives.
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().rfind(".arc", 0), std::string::npos) << e.path();
}

// A build of the library that flips one bit of what each encoder puts out:
// the pack decodes what it wrote before anything counts as packed, so every
// way a file is compressed (with others in a run of small files, whole, in
// segments) fails the run as the archiver's error, and nothing is written to
// a new archive or to one being updated.
TEST_F(Pack, CompressedDataThatDoesNotDecodeBackIsNeverCommitted) {
    writeBytes(dir / "small1.txt", sampleText(3000, 1));
    writeBytes(dir / "small2.txt", sampleText(4000, 2));
    writeBytes(dir / "whole.txt", sampleText(200000, 3));
    // Long repeats: quick to compress, also in the sanitizer tree.
    Bytes repeats;
    const Bytes unit = sampleText(5000, 4);
    while (repeats.size() < (2 << 20) + 1000)
        repeats.insert(repeats.end(), unit.begin(), unit.end());
    writeBytes(dir / "segments.txt", repeats);
    writeText(dir / "kept.txt", "kept\n");
    ASSERT_EQ(run("u -a1 " + arg(dir / "old.lzh") + " " + arg(dir / "kept.txt")).code, UNLHA_OK);
    const Bytes old = readBytes(dir / "old.lzh");
    Alone flipped;
    flipped.library = dozo::test::inBuildTree(UNLHA32_FLIPPED_BIT_LIBRARY);
    for (const auto& names : {listLine({"small1.txt", "small2.txt"}), listLine({"whole.txt"}),
                              listLine({"segments.txt"})}) {
        writeText(dir / "list", names);
        const std::string list = arg("@" + (dir / "list").string());
        for (const char* archive : {"new.lzh", "old.lzh"}) {
            const Child child =
                runAlone("u -a1 -r2 -m7 " + arg(dir / archive) + " " + list, flipped);
            EXPECT_EQ(child.code, UNLHA_ERROR_INTERNAL) << names << ": " << child.output;
            EXPECT_NE(child.output.find("UNLHA32の誤りです"), std::string::npos) << child.output;
            EXPECT_NE(child.output.find("does not decode to the input"), std::string::npos)
                << child.output;
        }
        EXPECT_FALSE(fs::exists(dir / "new.lzh")) << names;
        EXPECT_EQ(readBytes(dir / "old.lzh"), old) << names;
    }
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

TEST_F(Pack, ArchiveInsideThePackedFolderIsNotPackedIntoItself) {
    fs::create_directories(dir / "tree");
    writeText(dir / "tree" / "a.txt", "a\n");
    ASSERT_EQ(run("u -a1 -r2 " + arg(dir / "tree" / "self.lzh") + " " + arg(dir / "tree")).code,
              UNLHA_OK);
    // Second run: the archive now exists inside the folder it packs.
    ASSERT_EQ(run("u -a1 -r2 " + arg(dir / "tree" / "self.lzh") + " " + arg(dir / "tree")).code,
              UNLHA_OK);
    EXPECT_EQ(contents(dir / "tree" / "self.lzh", dir / "x"),
              (std::vector<std::string>{"tree/", "tree/a.txt"}));
}

// A temporary of one of our writers (here one a killed writer left) is no
// file of the user's: a packed folder leaves it out without a word. A user's
// file merely named like one is packed.
TEST_F(Pack, OurOwnTemporariesInAFolderAreNotPacked) {
    fs::create_directories(dir / "tree");
    writeText(dir / "tree" / "a.txt", "a\n");
    const std::string left = dozo::test::killedWriter(dir / "tree", "a.txt");
    ASSERT_FALSE(left.empty());
    const std::string lookalike = left + "0";
    writeText(dir / "tree" / lookalike, "the user's\n");
    const Result r = run("u -a1 -r2 " + arg(dir / "t.lzh") + " " + arg(dir / "tree"));
    ASSERT_EQ(r.code, UNLHA_OK) << r.reason;
    EXPECT_EQ(r.reason.find(left), std::string::npos) << r.reason;
    EXPECT_EQ(contents(dir / "t.lzh", dir / "x"),
              (std::vector<std::string>{"tree/", "tree/" + lookalike, "tree/a.txt"}));
}

// Kept entries are copied, never encoded again: their headers (method, mode,
// times, header level) and packed bytes are exactly as they were. Archives
// from jlha at each header level, updated by us, still pass every peer.
class PackUpdate : public Pack {
protected:
    // Packs each name in its own run, returning the archive after each run.
    std::vector<Bytes> packOneByOne(const fs::path& archive, const std::string& jlha,
                                    std::initializer_list<const char*> names) {
        std::vector<Bytes> steps;
        for (const char* name : names) {
            if (jlha.empty())
                EXPECT_EQ(run("u -a1 " + arg(archive) + " " + arg(dir / name)).code, UNLHA_OK);
            else  // jlha's -a adds to the archive where -c would start a new one
                EXPECT_EQ(jlhaPack(dir, archive, "-a" + jlha.substr(2), name), 0);
            steps.push_back(readBytes(archive));
        }
        return steps;
    }
};

TEST_F(PackUpdate, KeptEntriesAreCopiedByteForByte) {
    writeBytes(dir / "a.txt", sampleText(40000, 1));
    writeBytes(dir / "b.txt", sampleText(30000, 2));
    writeBytes(dir / "c.bin", sampleBinary(5000, 3));
    for (const char* name : {"a.txt", "b.txt", "c.bin"}) setMtime(dir / name, 1600000000);
    struct Case {
        const char* what;
        std::string jlha;  // empty: packed by us
    };
    const Case cases[] = {{"ours", ""},
                          {"jlha level 0 lh5", jlhaOptions(0, '5')},
                          {"jlha level 1 lh6", jlhaOptions(1, '6')},
                          {"jlha level 2 lh7", jlhaOptions(2, '7')}};
    for (const Case& c : cases) {
        const fs::path archive = dir / "u.lzh";
        fs::remove(archive);
        const std::vector<Bytes> steps = packOneByOne(archive, c.jlha, {"a.txt", "b.txt", "c.bin"});
        ASSERT_EQ(steps.size(), 3u);
        // Entry a, and entry c with the end mark, as they were written.
        const Bytes a(steps[0].begin(), steps[0].end() - 1);
        const Bytes cEnd(steps[2].begin() + std::ssize(steps[1]) - 1, steps[2].end());

        // b is replaced in its place by a newer file; d is added.
        writeBytes(dir / "b.txt", sampleText(20000, 4));
        setMtime(dir / "b.txt", 1700000000);
        writeText(dir / "d.txt", "added\n");
        writeText(dir / "list", (dir / "b.txt").string() + "\n" + (dir / "d.txt").string() + "\n");
        ASSERT_EQ(run("u -a1 " + arg(archive) + " " + arg("@" + (dir / "list").string())).code,
                  UNLHA_OK)
            << c.what;
        const Bytes after = readBytes(archive);
        ASSERT_GT(after.size(), a.size() + cEnd.size()) << c.what;
        EXPECT_TRUE(std::equal(a.begin(), a.end(), after.begin())) << c.what;
        const auto cAt = std::search(after.begin(), after.end(), cEnd.begin(), cEnd.end() - 1);
        EXPECT_NE(cAt, after.end()) << c.what << ": entry c changed";

        for (const char* peer : {"lhasa t ", "jlha t ", "7zz t ", "bsdtar -tf "})
            EXPECT_EQ(shell(peer + arg(archive) + " >/dev/null 2>&1"), 0) << c.what << ": " << peer;
        fs::remove_all(dir / "x");
        EXPECT_EQ(contents(archive, dir / "x"),
                  (std::vector<std::string>{"a.txt", "b.txt", "c.bin", "d.txt"}))
            << c.what;
        for (const char* name : {"a.txt", "b.txt", "c.bin"})
            EXPECT_EQ(readBytes(dir / "x" / name), readBytes(dir / name)) << c.what << " " << name;
        writeBytes(dir / "b.txt", sampleText(30000, 2));
        setMtime(dir / "b.txt", 1600000000);
    }
}

// Two processes packing into one archive at the same time: each must see the
// other's result, so no run's files go missing, whether the archive exists
// beforehand or not.
TEST_F(PackUpdate, ConcurrentRunsBothLand) {
    writeBytes(dir / "seed.txt", sampleText(1000, 9));
    for (int writer = 0; writer < 2; ++writer)
        writeBytes(dir / ("in" + std::to_string(writer) + ".txt"),
                   sampleText(3 << 20, 10 + writer));
    const auto call = [&](const std::string& line) {
        return arg(dozo::test::inBuildTree(UNLHA32_CALL)) + " " + arg(libraryPath()) + " '" + line +
               "' 4096";
    };
    for (int round = 0; round < 8; ++round) {
        const fs::path archive = dir / "both.lzh";
        fs::remove(archive);
        std::vector<std::string> want{"in0.txt", "in1.txt"};
        if (round % 2 == 1) {
            ASSERT_EQ(run("u -a1 " + arg(archive) + " " + arg(dir / "seed.txt")).code, UNLHA_OK);
            want.push_back("seed.txt");
        }
        std::string both;
        for (int writer = 0; writer < 2; ++writer) {
            const std::string w = std::to_string(writer);
            both += "(" + call("u -a1 " + arg(archive) + " " + arg(dir / ("in" + w + ".txt"))) +
                    " >/dev/null 2>&1; echo $? >" + arg(dir / ("status" + w)) + ") & ";
        }
        ASSERT_EQ(shell(both + "wait"), 0);
        for (const char* status : {"status0", "status1"})
            EXPECT_EQ(readText(dir / status), "0\n") << "round " << round;
        fs::remove_all(dir / "x");
        EXPECT_EQ(contents(archive, dir / "x"), want) << "round " << round;
    }
}

struct MethodCase {
    const char* setting;
    const char* header;
};

class PackMethod : public ::testing::TestWithParam<MethodCase> {};

TEST_P(PackMethod, SettingChoosesTheMethod) {
    TempDir dir;
    ConfigHome config;
    if (GetParam().setting[0] != '\0')
        config.write(std::string("method=") + GetParam().setting + "\n");
    writeBytes(dir / "text.txt", sampleText(100000, 4));
    ASSERT_EQ(run("u -a1 " + arg(dir / "m.lzh") + " " + arg(dir / "text.txt")).code, UNLHA_OK);
    EXPECT_EQ(firstMethod(dir / "m.lzh"), GetParam().header);
    ASSERT_EQ(run("x -a1 " + arg(dir / "m.lzh") + " " + arg(dir / "x")).code, UNLHA_OK);
    EXPECT_EQ(readBytes(dir / "x" / "text.txt"), readBytes(dir / "text.txt"));
}

INSTANTIATE_TEST_SUITE_P(Settings, PackMethod,
                         ::testing::Values(MethodCase{"", "-lh5-"}, MethodCase{"lh5", "-lh5-"},
                                           MethodCase{"lh6", "-lh6-"}, MethodCase{"lh7", "-lh7-"},
                                           MethodCase{"lh9", "-lh5-"}),
                         [](const auto& test) {
                             return std::string(test.param.setting[0] ? test.param.setting
                                                                      : "default");
                         });

}  // namespace
}  // namespace unlhatest
