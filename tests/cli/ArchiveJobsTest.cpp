// pack, unpack, list and test against real files, the real archiver and lhasa.
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <map>

namespace dozo::test {
namespace {

// Every file under `root`, by its path relative to it, with its bytes.
std::map<QString, Bytes> treeOf(const QString& root) {
    std::map<QString, Bytes> tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree[QDir(root).relativeFilePath(path)] = readFile(QFile::encodeName(path).toStdString());
    }
    return tree;
}

// A tree with Japanese and spaced names, an empty file and a compressible one.
void makeTree(const std::string& root) {
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "/資料 フォルダー").c_str(), 0755);
    ::mkdir((root + "/資料 フォルダー/深い").c_str(), 0755);
    writeFile(root + "/報告書.txt", Bytes(20000, 'a'));
    writeFile(root + "/with space.bin", randomBytes(70000, 21));
    writeFile(root + "/資料 フォルダー/データ 1.dat", randomBytes(3000, 22));
    writeFile(root + "/資料 フォルダー/深い/empty", {});
}

// Two entries of one name would make the archiver refuse the whole pack; a
// file named twice (or through a link) goes in once.
// a.txt (100 bytes of 'a') and b.txt (200 of 'b') in `dir`, packed into
// `name` there; empty when the pack failed.
QString packedPair(const TempDir& dir, const char* name) {
    writeFile(dir / "a.txt", Bytes(100, 'a'));
    writeFile(dir / "b.txt", Bytes(200, 'b'));
    const QString archive = q(dir / name);
    const CliResult packed =
        runCli({QStringLiteral("pack"), archive, q(dir / "a.txt"), q(dir / "b.txt")});
    EXPECT_EQ(packed.exitCode, 0) << packed.err.toStdString();
    return packed.exitCode == 0 ? archive : QString();
}

TEST(Archive, AFileNamedTwiceIsPackedOnce) {
    TempDir dir;
    writeFile(dir / "a.txt", Bytes(300, 'a'));
    ASSERT_EQ(::symlink((dir / "a.txt").c_str(), (dir / "link.txt").c_str()), 0);
    // Another hard link of the same name elsewhere would be a second entry
    // "a.txt"; one of another name is a name of its own.
    ::mkdir((dir / "sub").c_str(), 0755);
    ASSERT_EQ(::link((dir / "a.txt").c_str(), (dir / "sub/a.txt").c_str()), 0);
    ASSERT_EQ(::link((dir / "a.txt").c_str(), (dir / "sub/other.txt").c_str()), 0);
    const QString archive = q(dir / "out.lzh");
    const CliResult r =
        runCli({QStringLiteral("pack"), archive, q(dir / "a.txt"), q(dir / "a.txt"),
                q(dir / "link.txt"), q(dir / "sub/a.txt"), q(dir / "sub/other.txt")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("done 2, failed 0, skipped 3")))
        << r.err.toStdString();
    const CliResult listed = runCli({QStringLiteral("list"), archive});
    EXPECT_EQ(listed.out.count(QStringLiteral(" a.txt")), 1) << listed.out.toStdString();
    EXPECT_EQ(listed.out.count(QStringLiteral(" other.txt")), 1) << listed.out.toStdString();

    // The archive itself, named or through a link, is left out: skipped, not done.
    ASSERT_EQ(::symlink((dir / "out.lzh").c_str(), (dir / "out-link").c_str()), 0);
    const CliResult again =
        runCli({QStringLiteral("pack"), archive, q(dir / "out-link"), archive, q(dir / "a.txt")});
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(again.err.contains(QStringLiteral("done 1, failed 0, skipped 2")))
        << again.err.toStdString();
}

// A blank in a name is not where the name ends: the list file carries it
// whole, and a name it cannot carry is refused, not split into others.
TEST(Archive, NamesWithBlanksPackThemselvesAndLineBreaksAreRefused) {
    TempDir dir;
    ::mkdir((dir / "in").c_str(), 0755);
    writeFile(dir / "in/photo\t.bash_history", Bytes(10, 'p'));
    writeFile(dir / "in/photo", Bytes(10, 'x'));
    writeFile(dir / ".bash_history", Bytes(10, 's'));
    const QString archive = q(dir / "out.lzh");
    const CliOptions here{.workingDirectory = q(dir.path())};
    const CliResult packed =
        runCli({QStringLiteral("pack"), archive, QStringLiteral("in/photo\t.bash_history")}, here);
    ASSERT_EQ(packed.exitCode, 0) << packed.err.toStdString();
    const CliResult listed = runCli({QStringLiteral("list"), archive});
    EXPECT_TRUE(listed.err.contains(QStringLiteral("done 1,"))) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.contains(QStringLiteral("photo\\x09.bash_history")))
        << listed.out.toStdString();

    const CliResult refused = runCli(
        {QStringLiteral("pack"), q(dir / "other.lzh"), QStringLiteral("in/photo\n.bash_history")},
        here);
    EXPECT_EQ(refused.exitCode, 2) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("line break"))) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(q(dir / "other.lzh")));
}

// The archiver leaves out names a reader could not give back (its own tests
// cover what the archive then holds): dozo-cli says so in the user's
// language, and refuses such a name given by itself before writing anything.
TEST(Archive, NamesReadersCannotGiveBackAreLeftOutOrRefused) {
    TempDir dir;
    ::mkdir((dir / "tree").c_str(), 0755);
    const struct {
        const char* name;
        const char* shown;  // its bytes escaped
        const char* warning;
    } cases[] = {{"x\xe9.txt", "x\\xe9.txt", "warning: name not UTF-8, not stored: "},
                 {"a\\b.txt", "a\\\\b.txt", "warning: name holding '\\', not stored: "}};
    for (const auto& c : cases) writeFile(dir / "tree" / c.name, Bytes(3, 'x'));
    const CliResult r = runCli({QStringLiteral("pack"), q(dir / "out.lzh"), q(dir / "tree")},
                               {.env = {{QStringLiteral("LANG"), QStringLiteral("C.UTF-8")}}});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const auto& c : cases) {
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.warning) + q(dir / "tree") +
                                   QLatin1Char('/') + QLatin1String(c.shown)))
            << c.shown << "\n"
            << r.err.toStdString();
    }

    const QString named = q(dir / "named.lzh");
    const CliResult refused = runCli({QStringLiteral("pack"), named, q(dir / "tree/a\\b.txt")});
    EXPECT_EQ(refused.exitCode, 2) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("backslash"))) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(named));
}

TEST(Archive, PackThenUnpackRoundTripsATreeAndLhasaAcceptsIt) {
    for (const auto& [method, level] :
         {std::pair{"", ""}, std::pair{"lh6", "max"}, std::pair{"lh7", "normal"}}) {
        SCOPED_TRACE(std::string(method) + " " + level);
        TempDir dir;
        makeTree(dir / "プロジェクト 1");
        const QString archive = q(dir / "out put.lzh");
        QStringList pack{QStringLiteral("pack")};
        if (*method) pack << QStringLiteral("-m") << QLatin1String(method);
        if (*level) pack << QStringLiteral("--level") << QLatin1String(level);
        pack << archive << q(dir / "プロジェクト 1");
        const CliResult packed = runCli(pack);
        ASSERT_EQ(packed.exitCode, 0) << packed.err.toStdString();

        const CliResult lhasa = runProgram(QStringLiteral("lhasa"), {QStringLiteral("t"), archive});
        EXPECT_EQ(lhasa.exitCode, 0) << lhasa.out.toStdString() << lhasa.err.toStdString();
        if (*method) {
            const CliResult listed =
                runProgram(QStringLiteral("lhasa"), {QStringLiteral("v"), archive});
            EXPECT_TRUE(listed.out.contains(QStringLiteral("-%1-").arg(QLatin1String(method))))
                << listed.out.toStdString();
        }

        const CliResult unpacked =
            runCli({QStringLiteral("unpack"), archive, q(dir / "into/here")});
        ASSERT_EQ(unpacked.exitCode, 0) << unpacked.err.toStdString();
        EXPECT_EQ(treeOf(q(dir / "into/here/プロジェクト 1")), treeOf(q(dir / "プロジェクト 1")));
        EXPECT_TRUE(unpacked.err.contains(QStringLiteral("done 4, failed 0, skipped 0")))
            << unpacked.err.toStdString();
    }
}

TEST(Archive, UnpackWithoutFolderMakesTheTabsFolderAndKeepsExistingFiles) {
    TempDir dir;
    const QString archive = packedPair(dir, "data.backup.lzh");
    if (archive.isEmpty()) return;

    TempDir work;
    const CliOptions here{.workingDirectory = q(work.path())};
    ASSERT_EQ(runCli({QStringLiteral("unpack"), archive}, here).exitCode, 0);
    EXPECT_EQ(readFile(work / "data/a.txt"), Bytes(100, 'a'));

    // A changed file survives a second unpack, and is counted as kept; the
    // run did not do what it was asked, as the window reports it.
    writeFile(work / "data/a.txt", Bytes(5, 'x'));
    const CliResult again = runCli({QStringLiteral("unpack"), archive}, here);
    EXPECT_EQ(again.exitCode, 1) << again.err.toStdString();
    EXPECT_EQ(readFile(work / "data/a.txt"), Bytes(5, 'x'));
    EXPECT_TRUE(again.err.contains(QStringLiteral("done 0, failed 0, skipped 2")))
        << again.err.toStdString();

    const CliResult overwrite =
        runCli({QStringLiteral("unpack"), QStringLiteral("--overwrite"), archive}, here);
    EXPECT_EQ(overwrite.exitCode, 0) << overwrite.err.toStdString();
    EXPECT_EQ(readFile(work / "data/a.txt"), Bytes(100, 'a'));
}

// A link where an entry goes is kept, even one pointing nowhere: it is
// counted kept, not done, also when another entry of the run gives it a
// target, and not failed when it points nowhere.
TEST(Archive, AKeptDanglingLinkCountsAsKept) {
    TempDir dir;
    const QString archive = packedPair(dir, "d.lzh");
    if (archive.isEmpty()) return;
    for (const char* target : {"b.txt", "nowhere"}) {
        SCOPED_TRACE(target);
        TempDir into;
        ASSERT_EQ(::symlink(target, (into / "a.txt").c_str()), 0);
        const CliResult r = runCli({QStringLiteral("unpack"), archive, q(into.path())});
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(std::filesystem::is_symlink(into / "a.txt"));
        EXPECT_EQ(readFile(into / "b.txt"), Bytes(200, 'b'));
        EXPECT_TRUE(r.err.contains(QStringLiteral("done 1, failed 0, skipped 1")))
            << r.err.toStdString();
    }
}

// The archiver never prints: what it left out of a folder reaches the user
// through dozo-cli, in either language, naming the link.
TEST(Archive, PackWarnsOfALinkItDidNotFollow) {
    TempDir dir, outside;
    makeTree(dir / "tree");
    writeFile(outside / "secret", Bytes(10, 's'));
    ASSERT_EQ(::symlink((outside / "secret").c_str(), (dir / "tree/link").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "tree/fifo").c_str(), 0600), 0);
    const struct {
        const char* lang;
        const char* path;
        const char* prefix;
    } cases[] = {{"C.UTF-8", "tree/link", "warning: link not followed, not stored: "},
                 {"C.UTF-8", "tree/fifo", "warning: special file not stored: "},
                 {"ja_JP.UTF-8", "tree/link", "警告: リンクはたどらず、格納しません: "},
                 {"ja_JP.UTF-8", "tree/fifo", "警告: 特殊ファイルは格納しません: "}};
    for (const auto& [lang, path, prefix] : cases) {
        SCOPED_TRACE(path);
        SCOPED_TRACE(lang);
        const QString archive = q(dir / (std::string(lang) + ".lzh"));
        QFile::remove(archive);
        const CliResult r = runCli({QStringLiteral("pack"), archive, q(dir / "tree")},
                                   {.env = {{QStringLiteral("LANG"), QLatin1String(lang)}}});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(prefix) + q(dir / path)))
            << r.err.toStdString();
        const CliResult listed = runCli({QStringLiteral("list"), archive});
        EXPECT_FALSE(listed.out.contains(QStringLiteral("link"))) << listed.out.toStdString();
    }
}

// An update puts a new archive in place: another hard link of the old one
// keeps the old archive, and the user is told, as for an in-place rewrite.
TEST(Archive, PackNamesAnArchiveWhoseOtherHardLinksKeepTheOldOne) {
    TempDir dir;
    writeFile(dir / "c.txt", Bytes(50, 'c'));
    const QString note =
        QStringLiteral("warning: other names of this file keep the old contents: ");
    for (const bool linked : {true, false}) {
        SCOPED_TRACE(linked);
        const QString archive = packedPair(dir, linked ? "linked.lzh" : "alone.lzh");
        ASSERT_FALSE(archive.isEmpty());
        const std::string other = dir / "other.lzh";
        ::unlink(other.c_str());
        if (linked) {
            ASSERT_EQ(::link(QFile::encodeName(archive).constData(), other.c_str()), 0);
        }
        const Bytes old = readFile(QFile::encodeName(archive).toStdString());
        const CliResult r = runCli({QStringLiteral("pack"), archive, q(dir / "c.txt")});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.err.contains(note + archive), linked) << r.err.toStdString();
        if (linked) {
            EXPECT_EQ(readFile(other), old);
        }
    }
}

// A mode the archiver could not restore (as on a FAT stick) fails nothing,
// but the user hears of it, in either language.
TEST(Archive, UnpackWarnsOfAModeItCouldNotRestore) {
    TempDir dir;
    const QString archive = packedPair(dir, "m.lzh");
    if (archive.isEmpty()) return;
    const QStringList strace{QStringLiteral("-f"), QStringLiteral("-o"),
                             QStringLiteral("/dev/null"), QStringLiteral("-e"),
                             QStringLiteral("inject=fchmod:error=EPERM")};
    if (runProgram(QStringLiteral("strace"), strace + QStringList{QStringLiteral("true")})
            .exitCode != 0)
        GTEST_SKIP() << "strace cannot inject faults here";
    const struct {
        const char* lang;
        const char* prefix;
    } cases[] = {{"C.UTF-8", "warning: mode not restored: a.txt"},
                 {"ja_JP.UTF-8", "警告: ファイルの属性を戻せません: a.txt"}};
    for (const auto& [lang, prefix] : cases) {
        SCOPED_TRACE(lang);
        const CliResult r = runProgram(
            QStringLiteral("strace"),
            strace + QStringList{q(builtCli()), QStringLiteral("unpack"), archive, q(dir / lang)},
            {.env = {{QStringLiteral("LANG"), QLatin1String(lang)}}});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(readFile(dir / lang / "a.txt"), Bytes(100, 'a'));
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(prefix))) << r.err.toStdString();
    }
}

TEST(Archive, ListAndTestReportEveryEntry) {
    TempDir dir;
    makeTree(dir / "tree");
    const QString archive = q(dir / "t.lzh");
    ASSERT_EQ(runCli({QStringLiteral("pack"), archive, q(dir / "tree")}).exitCode, 0);

    const CliResult listed = runCli({QStringLiteral("list"), archive});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const QStringList lines = listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto lineOf = [&](const QString& name) {
        for (const QString& line : lines)
            if (line.endsWith(QLatin1Char(' ') + name)) return line;
        return QString();
    };
    const QString big = lineOf(QStringLiteral("tree/報告書.txt"));
    EXPECT_TRUE(big.contains(QStringLiteral(" 20000 "))) << listed.out.toStdString();
    EXPECT_TRUE(big.contains(QStringLiteral("-lh5-")));
    EXPECT_FALSE(lineOf(QStringLiteral("tree/資料 フォルダー/データ 1.dat")).isEmpty());
    EXPECT_FALSE(lineOf(QStringLiteral("tree/資料 フォルダー/深い/empty")).isEmpty());

    const CliResult tested = runCli({QStringLiteral("test"), archive});
    EXPECT_EQ(tested.exitCode, 0) << tested.err.toStdString();

    // One flipped byte in the compressed data: test fails and names the archive.
    Bytes bytes = readFile(archive.toStdString());
    bytes[bytes.size() - 200] ^= 0x55;
    writeFile(dir / "bad.lzh", bytes);
    const CliResult bad = runCli({QStringLiteral("test"), q(dir / "bad.lzh")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("bad.lzh"))) << bad.err.toStdString();
}

// Every entry on a line of its own in fixed columns (size and packed size
// right-aligned in 12, method in 6, date in 19, then the name), also where
// a listing is long enough to be written in several blocks.
TEST(Archive, ListPutsEachEntryInColumns) {
    TempDir dir;
    ::mkdir((dir / "many").c_str(), 0755);
    constexpr int kFiles = 1500;
    for (int i = 0; i < kFiles; ++i)
        writeFile(dir / ("many/f" + std::to_string(10000 + i)), Bytes(i % 7 * 1000, 'x'));
    const QString archive = q(dir / "many.lzh");
    ASSERT_EQ(runCli({QStringLiteral("pack"), archive, q(dir / "many")}).exitCode, 0);

    const CliResult listed = runCli({QStringLiteral("list"), archive});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    ASSERT_TRUE(listed.out.endsWith(QLatin1Char('\n')));
    const QStringList lines = listed.out.chopped(1).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 1 + 1 + kFiles);  // the heading and the folder
    EXPECT_EQ(lines[0],
              QStringLiteral("        size       packed method date                name"));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" many/"))) << lines[1].toStdString();
    const QRegularExpression layout(QStringLiteral(
        "^ *(\\d+) +(\\d+) (-lh[05d]-) +(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) (.*)$"));
    for (int i = 0; i < kFiles; ++i) {
        const QString& line = lines[2 + i];
        const QRegularExpressionMatch m = layout.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_EQ(m.capturedEnd(1), 12) << line.toStdString();
        EXPECT_EQ(m.capturedEnd(2), 25) << line.toStdString();
        EXPECT_EQ(m.capturedStart(3), 26) << line.toStdString();
        EXPECT_EQ(m.capturedStart(4), 33) << line.toStdString();
        EXPECT_EQ(m.captured(1).toInt(), i % 7 * 1000) << line.toStdString();
        EXPECT_EQ(m.captured(5), QStringLiteral("many/f%1").arg(10000 + i));
    }
}

// A damaged last entry stops the run, but what it placed before is done: a
// file there already is done when it was replaced, kept when asked to be.
TEST(Archive, AnUnpackStoppedByDamageCountsWhatItPlaced) {
    TempDir dir;
    ::mkdir((dir / "in").c_str(), 0755);
    QStringList pack{QStringLiteral("pack"), q(dir / "a.lzh")};
    for (int i = 0; i < 13; ++i) {
        const std::string name = "in/f" + std::to_string(10 + i);
        writeFile(dir / name, randomBytes(20000, static_cast<unsigned>(i)));
        pack << q(dir / name);
    }
    ASSERT_EQ(runCli(pack).exitCode, 0);
    // Bytes near the end belong to the last entry's packed data.
    Bytes archive = readFile(dir / "a.lzh");
    for (std::size_t k = archive.size() - 400; k < archive.size() - 300; ++k) archive[k] ^= 0x5A;
    writeFile(dir / "a.lzh", archive);
    const struct {
        bool existing;
        bool overwrite;
        const char* summary;
    } cases[] = {{false, false, "done 12, failed 1, skipped 0"},
                 {true, true, "done 12, failed 1, skipped 0"},
                 {true, false, "done 11, failed 1, skipped 1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.summary);
        TempDir out;
        if (c.existing) writeFile(out / "f10", Bytes(3, 'x'));
        QStringList unpack{QStringLiteral("unpack")};
        if (c.overwrite) unpack << QStringLiteral("--overwrite");
        const CliResult r = runCli(unpack << q(dir / "a.lzh") << q(out.path()));
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.summary))) << r.err.toStdString();
        EXPECT_EQ(readFile(out / "f10").size(), c.existing && !c.overwrite ? 3u : 20000u);
    }
}

// The counts are of what was written: a name held twice is one file, kept
// back or replaced the second time; a file whose name became a folder for
// another entry was not placed, nor a folder whose name a file had. A name
// the listing shows escaped is looked for on disk as placed: a control
// character as it is, a byte that is no UTF-8 as "%XX". A folder where an
// entry's file goes, or a link on the way to it, is no file kept back: the
// entry fails whether existing files are kept or not.
TEST(Archive, AnUnpackCountsEachNameOnceAndOnlyFilesPlaced) {
    enum class There { file, folder, linkOnTheWay };
    const struct {
        const char* archive;
        bool overwrite;
        int exit;
        const char* summary;
        const char* existing = nullptr;  // what is there before the run, if anything
        There there = There::file;
    } cases[] = {
        {"same-name-twice", false, 1, "done 1, failed 0, skipped 1"},
        {"same-name-twice", true, 0, "done 2, failed 0, skipped 0"},
        {"file-then-its-folder-name", false, 1, "done 1, failed 1, skipped 0"},
        {"file-then-its-folder-name", true, 1, "done 1, failed 1, skipped 0"},
        {"tab-in-name", false, 1, "done 1, failed 0, skipped 1", "a\tb.txt"},
        {"tab-in-name", false, 1, "done 1, failed 0, skipped 1", "c.txt"},
        {"undecodable-level2", false, 1, "done 2, failed 0, skipped 1", "good.txt"},
        {"undecodable-level2", false, 1, "done 2, failed 0, skipped 1", "caf%E9.txt"},
        {"folder-after-its-file-name", false, 1, "done 1, failed 1, skipped 0"},
        {"folder-after-its-file-name", true, 1, "done 1, failed 1, skipped 0"},
        {"nested-file", false, 1, "done 0, failed 1, skipped 0", "d1/d2/f", There::folder},
        {"nested-file", true, 1, "done 0, failed 1, skipped 0", "d1/d2/f", There::folder},
        {"nested-file", false, 1, "done 0, failed 1, skipped 0", "d1", There::linkOnTheWay},
        {"nested-file", true, 1, "done 0, failed 1, skipped 0", "d1", There::linkOnTheWay},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.archive) + (c.overwrite ? " --overwrite" : "") + " over " +
                     (c.existing ? c.existing : "nothing") + " as " +
                     std::to_string(static_cast<int>(c.there)));
        TempDir out, elsewhere;
        if (c.existing && c.there == There::file) writeFile(out / c.existing, Bytes(3, 'x'));
        if (c.there == There::folder) std::filesystem::create_directories(out / c.existing);
        if (c.there == There::linkOnTheWay) {
            // A link to a folder that holds d2/f.
            ::mkdir((elsewhere / "d2").c_str(), 0755);
            writeFile(elsewhere / "d2/f", Bytes(3, 'x'));
            ASSERT_EQ(::symlink(elsewhere.path().c_str(), (out / c.existing).c_str()), 0);
        }
        QStringList unpack{QStringLiteral("unpack")};
        if (c.overwrite) unpack << QStringLiteral("--overwrite");
        const CliResult r =
            runCli(unpack << q(dozo::test::inSourceTree(DOZO_ARCHIVE_DATA "/%1.lzh"))
                                 .arg(QLatin1String(c.archive))
                          << q(out.path()));
        EXPECT_EQ(r.exitCode, c.exit) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.summary))) << r.err.toStdString();
        // What the link leads to is no one's to replace.
        if (c.there == There::linkOnTheWay) {
            EXPECT_EQ(readFile(elsewhere / "d2/f"), Bytes(3, 'x'));
        }
    }
}

TEST(Archive, FailuresAndRefusals) {
    TempDir dir;
    writeFile(dir / "not.lzh", Bytes(500, 'z'));
    writeFile(dir / "f", Bytes(10, 'f'));
    struct Case {
        const char* name;
        QStringList args;
        int exit;
        bool noLibraries;
    } cases[] = {
        {"unpack a file that is no archive",
         {QStringLiteral("unpack"), q(dir / "not.lzh"), q(dir / "x")},
         1,
         false},
        {"pack a missing file",
         {QStringLiteral("pack"), q(dir / "o.lzh"), q(dir / "missing")},
         1,
         false},
        {"bad method",
         {QStringLiteral("pack"), QStringLiteral("-m"), QStringLiteral("lh9"), q(dir / "o.lzh"),
          q(dir / "f")},
         2,
         false},
        {"bad level",
         {QStringLiteral("pack"), QStringLiteral("--level=fast"), q(dir / "o.lzh"), q(dir / "f")},
         2,
         false},
        {"quote in a name", {QStringLiteral("pack"), q(dir / "o\".lzh"), q(dir / "f")}, 2, false},
        {"unpack into two folders",
         {QStringLiteral("unpack"), q(dir / "a.lzh"), q(dir / "b"), q(dir / "c")},
         2,
         false},
        {"no archiver", {QStringLiteral("pack"), q(dir / "o.lzh"), q(dir / "f")}, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = runCli(c.args, {.withoutLibraries = c.noLibraries});
        EXPECT_EQ(r.exitCode, c.exit) << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_FALSE(QFile::exists(q(dir / "o.lzh")));
        EXPECT_FALSE(QFile::exists(q(dir / "x")));
    }
}

}  // namespace

}  // namespace dozo::test
