// transform and keyed as a user runs them: results against the libraries
// called directly, failures among other files, refusals, folders and links.
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>
#include "core/jobs/FolderWalk.h"
#include "core/jobs/InPlaceJob.h"
#include "core/libraries/Library.h"
#include "core/startup/WorkDirectory.h"
#include "core/text/CodePage932.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <string>
#include <string_view>

namespace dozo::test {
namespace {

struct MethodCase {
    const char* given;
    const char* exportName;
};

class TransformMethod : public testing::TestWithParam<MethodCase> {};

TEST_P(TransformMethod, RewritesEveryFileAsTheLibraryDoes) {
    TempDir dir;
    // Odd and even lengths: LCR treats them differently.
    const Bytes odd = randomBytes(4099, 1);
    const Bytes even = randomBytes(70000, 2);
    writeFile(dir / "odd", odd);
    writeFile(dir / "even with space", even);
    const CliResult r = runCli({QStringLiteral("transform"), QLatin1String(GetParam().given),
                                q(dir / "odd"), q(dir / "even with space")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(dir / "odd"), directTransform(GetParam().exportName, odd));
    EXPECT_EQ(readFile(dir / "even with space"), directTransform(GetParam().exportName, even));
    EXPECT_TRUE(r.err.contains(QStringLiteral("done 2, failed 0, skipped 0")))
        << r.err.toStdString();
    // FileEncryptionLCR's note on the files it does not restore is printed
    // (which files, and its words, are core's).
    EXPECT_EQ(r.err.contains(QStringLiteral("run LCB on it, then LCRB")),
              GetParam().exportName == std::string_view("FileEncryptionLCR"))
        << r.err.toStdString();
    // Standard error is no terminal here: no progress line.
    EXPECT_FALSE(r.err.contains(QLatin1Char('\r'))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Methods, TransformMethod,
    testing::Values(MethodCase{"A", "FileEncryptionA"}, MethodCase{"C", "FileEncryptionC"},
                    MethodCase{"lc", "FileEncryptionLC"}, MethodCase{"LCR", "FileEncryptionLCR"},
                    MethodCase{"LCB", "FileEncryptionLCB"},
                    MethodCase{"LCRB", "FileEncryptionLCRB"}, MethodCase{"CLOL", "i_CLOL"},
                    MethodCase{"FileEncryptionLCRB", "FileEncryptionLCRB"},
                    MethodCase{"i_CLOL", "i_CLOL"}));

// A self-inverse transform run twice on one file would leave it as it was
// while reporting both as done. Another hard link given ends as the new file
// too (still one file with it: core's rule); a name not given keeps the old
// contents, said.
TEST(Transform, AFileNamedTwiceIsRewrittenOnceAndItsHardLinksGivenFollow) {
    TempDir dir;
    const Bytes content = randomBytes(5000, 4);
    writeFile(dir / "a.txt", content);
    ASSERT_EQ(::link((dir / "a.txt").c_str(), (dir / "b.txt").c_str()), 0);
    ASSERT_EQ(::link((dir / "a.txt").c_str(), (dir / "kept.txt").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "a.txt").c_str(), (dir / "c.txt").c_str()), 0);
    const CliResult r = runCli({QStringLiteral("transform"), QStringLiteral("LC"), q(dir / "a.txt"),
                                q(dir / "a.txt"), q(dir / "b.txt"), q(dir / "c.txt")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const Bytes rewritten = directTransform("FileEncryptionLC", content);
    EXPECT_EQ(readFile(dir / "a.txt"), rewritten);
    EXPECT_EQ(readFile(dir / "b.txt"), rewritten);
    EXPECT_EQ(readFile(dir / "kept.txt"), content);
    EXPECT_TRUE(r.err.contains(QStringLiteral("done 2, failed 0, skipped 2")))
        << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("rewritten once")), 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(q(dir / "a.txt") +
                               QStringLiteral(": other names of this file keep the old contents")))
        << r.err.toStdString();
}

// Short options combine, -v names each file done (and no other), and after
// "--" a file may be named like an option.
TEST(Transform, CombinedOptionsAndAFileNamedLikeAnOption) {
    TempDir dir;
    ::mkdir((dir / "tree").c_str(), 0755);
    const Bytes content = randomBytes(3000, 5);
    writeFile(dir / "tree/a", content);
    writeFile(dir / "-q", content);
    const CliOptions here{.workingDirectory = q(dir.path())};
    const CliResult r =
        runCli({QStringLiteral("transform"), QStringLiteral("-rv"), QStringLiteral("LC"),
                QStringLiteral("tree"), QStringLiteral("--"), QStringLiteral("-q"),
                QStringLiteral("missing"), QStringLiteral("-q")},
               here);
    ASSERT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(readFile(dir / "tree/a"), directTransform("FileEncryptionLC", content));
    EXPECT_EQ(readFile(dir / "-q"), directTransform("FileEncryptionLC", content));
    EXPECT_TRUE(r.err.contains(QStringLiteral("tree/a\n"))) << r.err.toStdString();
    const QStringList lines = r.err.split(QLatin1Char('\n'));
    EXPECT_EQ(lines.count(QStringLiteral("-q")), 1) << r.err.toStdString();
    EXPECT_FALSE(lines.contains(QStringLiteral("missing"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("done 2, failed 1, skipped 1")))
        << r.err.toStdString();
}

TEST(Keyed, KeyFromStdinOrFileReachesTheLibraryInCodePage932) {
    const QString typed = QStringLiteral("鍵 key ｶﾅ");
    const QByteArray key = *dozo::toCodePage932(typed);
    struct Case {
        const char* name;
        bool fromFile;
        QByteArray text;
    } cases[] = {
        {"stdin, newline", false, typed.toUtf8() + "\nsecond line\n"},
        {"stdin, no newline", false, typed.toUtf8()},
        {"file, newline", true, typed.toUtf8() + "\n"},
        {"file, no newline", true, typed.toUtf8()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const Bytes content = randomBytes(300000, 3);
        writeFile(dir / "data", content);
        writeFile(dir / "key.txt", Bytes(c.text.begin(), c.text.end()));
        const QStringList source =
            c.fromFile ? QStringList{QStringLiteral("--key-file"), q(dir / "key.txt")}
                       : QStringList{QStringLiteral("--key-stdin")};
        const CliResult r =
            runCli(QStringList{QStringLiteral("keyed")} + source + QStringList{q(dir / "data")},
                   {.input = c.fromFile ? QByteArray() : c.text});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(readFile(dir / "data"), directKeyed(key, content));
    }
}

TEST(Keyed, RefusedKeysTouchNothing) {
    struct Case {
        const char* name;
        QByteArray input;
    } cases[] = {
        {"empty line", "\n"},
        {"nothing at all", ""},
        {"not in code page 932", QStringLiteral("key😀").toUtf8() + "\n"},
        {"NUL inside", QByteArray("ab\0cd\n", 6)},
        {"256 bytes", QByteArray(256, 'k') + "\n"},
        {"129 two-byte characters", QStringLiteral("鍵").repeated(129).toUtf8() + "\n"},
        {"carriage return", "key\r\n"},
        {"not UTF-8", "\xff\xfe\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const Bytes content = randomBytes(1000, 4);
        writeFile(dir / "data", content);
        const CliResult r =
            runCli({QStringLiteral("keyed"), QStringLiteral("--key-stdin"), q(dir / "data")},
                   {.input = c.input});
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_EQ(readFile(dir / "data"), content);
        EXPECT_EQ(dozo::test::listDir(dir.path()), std::set<std::string>{"data"});
    }
    // The longest key that fits is taken.
    TempDir dir;
    writeFile(dir / "data", randomBytes(10, 5));
    EXPECT_EQ(runCli({QStringLiteral("keyed"), QStringLiteral("--key-stdin"), q(dir / "data")},
                     {.input = QStringLiteral("鍵").repeated(127).toUtf8() + "k\n"})
                  .exitCode,
              0);
}

TEST(FileJobs, AReadOnlyFileFailsAloneAndIsLeftUntouched) {
    const std::string ro = "read only";
    const struct {
        const char* command;
        const char* option;
        QByteArray input;
    } cases[] = {{"transform", "LCB", ""}, {"keyed", "--key-stdin", "7\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        TempDir dir;
        const Bytes first = randomBytes(5000, 6), second = randomBytes(6000, 7),
                    third = randomBytes(7000, 8);
        writeFile(dir / "first", first);
        writeFile(dir / ro, second, 0444);
        writeFile(dir / "third", third);
        const CliResult r = runCli({QLatin1String(c.command), QLatin1String(c.option),
                                    q(dir / "first"), q(dir / ro), q(dir / "third")},
                                   {.input = c.input});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(readFile(dir / "first"), first);
        EXPECT_EQ(readFile(dir / ro), second);
        EXPECT_EQ(dozo::test::modeOf(dir / ro) & 0777, 0444u);
        EXPECT_NE(readFile(dir / "third"), third);
        EXPECT_TRUE(r.err.contains(QStringLiteral("read only: read-only file")))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("done 2, failed 1, skipped 0")));
    }
}

TEST(FileJobs, RecursiveWalkRewritesRegularFilesAndSkipsLinks) {
    TempDir dir, outside;
    const Bytes a = randomBytes(100, 9), b = randomBytes(200, 10), target = randomBytes(300, 11);
    ::mkdir((dir / "tree").c_str(), 0755);
    ::mkdir((dir / "tree/sub folder").c_str(), 0755);
    writeFile(dir / "tree/a", a);
    writeFile(dir / "tree/sub folder/b", b);
    writeFile(outside / "target", target);
    ASSERT_EQ(::symlink((outside / "target").c_str(), (dir / "tree/link").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (dir / "tree/sub folder/dirlink").c_str()), 0);

    const CliResult r = runCli(
        {QStringLiteral("transform"), QStringLiteral("-r"), QStringLiteral("A"), q(dir / "tree")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(dir / "tree/a"), directTransform("FileEncryptionA", a));
    EXPECT_EQ(readFile(dir / "tree/sub folder/b"), directTransform("FileEncryptionA", b));
    EXPECT_EQ(readFile(outside / "target"), target);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "tree/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(r.err.contains(QStringLiteral("done 2, failed 0, skipped 2")))
        << r.err.toStdString();

    // Without -r the folder is an error of its own; the file beside it is done.
    const Bytes c = randomBytes(50, 12);
    writeFile(dir / "c", c);
    const CliResult plain =
        runCli({QStringLiteral("transform"), QStringLiteral("A"), q(dir / "tree"), q(dir / "c")});
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_EQ(readFile(dir / "c"), directTransform("FileEncryptionA", c));
    EXPECT_EQ(readFile(dir / "tree/a"), directTransform("FileEncryptionA", a));
    EXPECT_TRUE(plain.err.contains(QStringLiteral("is a folder"))) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.contains(QStringLiteral("done 1, failed 1, skipped 0")));
}

// Between the walk and the run a walked name may become a link to a file
// outside the tree, or a folder of the tree a link to an outside folder
// holding the same names (or one the user may search but not list, where the
// name is a link to yet another file). The library follows links; the run
// must not hand it any such name, and the file outside must keep its bytes.
// Run as a user, for whom a folder's mode counts.
TEST(FileJobs, AWalkedFileSwappedForALinkBeforeTheRunIsFailedAndItsTargetKept) {
    struct Swap {
        const char* name;
        const char* walked;  // the walked path that becomes a link
        const char* target;  // what it points at, under the outside folder
        const char* kept;    // the outside file that must keep its bytes
        const char* failed;  // the walked file reported failed
        bool searchOnly;     // the outside folder is mode 0311 and its b a link to victim
    } swaps[] = {
        {"file", "tree/a", "a", "a", "tree/a", false},
        {"folder", "tree/sub", "sub", "sub/b", "tree/sub/b", false},
        {"search-only folder", "tree/sub", "sub", "victim", "tree/sub/b", true},
    };
    const std::filesystem::path libraries =
        std::filesystem::path(builtCli()).parent_path() / DOZO_BIN_TO_LIBDIR;
    for (const Swap& swap : swaps) {
        SCOPED_TRACE(swap.name);
        TempDir dir, outside;
        ::mkdir((dir / "tree").c_str(), 0755);
        ::mkdir((dir / "tree/sub").c_str(), 0755);
        ::mkdir((outside / "sub").c_str(), 0755);
        const Bytes a = randomBytes(100, 21), b = randomBytes(200, 22), c = randomBytes(50, 23);
        writeFile(dir / "tree/a", a);
        writeFile(dir / "tree/sub/b", b);
        writeFile(dir / "tree/c", c);
        writeFile(outside / "a", a);
        if (swap.searchOnly) {
            writeFile(outside / "victim", b);
            ASSERT_EQ(::symlink((outside / "victim").c_str(), (outside / "sub/b").c_str()), 0);
            ::chmod((outside / "sub").c_str(), 0311);
        } else {
            writeFile(outside / "sub/b", b);
        }
        if (::geteuid() == 0) {
            for (const TempDir* top : {&dir, &outside}) {
                ::chmod(top->path().c_str(), 0755);
                for (const auto& entry : std::filesystem::recursive_directory_iterator(top->path()))
                    ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
                ASSERT_EQ(::chown(top->path().c_str(), 65534, 65534), 0);
            }
        }

        const Bytes kept = readFile(outside / swap.kept);
        const FolderWalk walk = FolderWalk::of(q(dir / "tree"));
        ASSERT_EQ(walk.files.size(), 3);
        std::filesystem::remove_all(dir / swap.walked);
        ASSERT_EQ(::symlink((outside / swap.target).c_str(), (dir / swap.walked).c_str()), 0);

        // 0: as expected; else a bit for each way it went wrong.
        const int wrong = runInChild([&] {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 64;
            dozo::Library rozu32(QStringLiteral("Rozu32"), {q(libraries.lexically_normal())});
            const InPlaceJob job = InPlaceJob::transform(rozu32, 0);
            if (!job.available()) return 32;
            InPlaceJob::Walked walked;
            for (qsizetype i = 0; i < walk.files.size(); ++i)
                walked.insert(walk.files[i], walk.identities[i]);
            QStringList failed;
            const BatchOutcome outcome = job.run(
                walk.files, nullptr, {QFile::encodeName(q(dir / "Temp.$$$"))}, {},
                [&](const QString& path, const QString&) { failed << path; }, nullptr, walked);
            return (failed == QStringList{q(dir / swap.failed)} ? 0 : 1) |
                   (outcome.doneCount() == 2 ? 0 : 2);
        });
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(readFile(outside / swap.kept), kept);
        EXPECT_EQ(readFile(dir / "tree/c"), directTransform("FileEncryptionA", c));
    }
}

// Files a walk cannot take stay plain; a run that passed them over would say
// it was done. A name that is no UTF-8 fails the run, naming it; a folder the
// user may not list is reported by the walk (run as a user: root lists all).
TEST(FileJobs, WhatAWalkCannotTakeIsAFailureNotASilence) {
    TempDir dir;
    ::mkdir((dir / "tree").c_str(), 0755);
    ::mkdir((dir / "tree/locked").c_str(), 0755);
    const Bytes a = randomBytes(100, 31), other = randomBytes(100, 32);
    writeFile(dir / "tree/a", a);
    writeFile(dir / "tree/bad\xff name", other);
    writeFile(dir / "tree/locked/b", other);
    ::chmod((dir / "tree/locked").c_str(), 0);

    const CliResult r = runCli(
        {QStringLiteral("transform"), QStringLiteral("-r"), QStringLiteral("A"), q(dir / "tree")});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(readFile(dir / "tree/bad\xff name"), other);
    EXPECT_EQ(readFile(dir / "tree/a"), directTransform("FileEncryptionA", a));
    EXPECT_TRUE(r.err.contains(QStringLiteral("/tree/bad\\xff name: a name that is not UTF-8")))
        << r.err.toStdString();

    ::chmod(dir.path().c_str(), 0755);
    const QString tree = q(dir / "tree");
    const int wrong = runInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 64;
        const FolderWalk walk = FolderWalk::of(tree);
        return (walk.unreadable == QStringList{tree + QStringLiteral("/locked")} ? 0 : 1) |
               (walk.files == QStringList{tree + QStringLiteral("/a")} ? 0 : 2) |
               (walk.unnamed.size() == 1 ? 0 : 4);
    });
    EXPECT_EQ(wrong, 0);
}

// A run killed mid-way leaves its list file and work files in the work
// folder (Temp.$$$ among them); the next start removes them, and a user's
// file that merely has the name of one of them stays.
TEST(FileJobs, AKilledRunsScratchFilesAreSweptAtTheNextStart) {
    TempDir cache, dir;
    const std::filesystem::path work = cache / "dozo";
    std::filesystem::create_directories(work);
    ASSERT_EQ(runInChild([&] {
                  const WorkDirectory folder(q(work));
                  for (const QByteArray& file : folder.workFiles(4))
                      WorkDirectory::markWorkFile(file);
                  if (folder.runListFile().isEmpty()) return 1;
                  ::_exit(0);
              }),
              0);
    const std::set<std::string> left = listDir(work);
    ASSERT_EQ(left.size(), 5u);  // Temp.$$$, three extra work files and the list file
    const std::string users = *left.begin();
    std::filesystem::remove(work / users);
    writeFile(work / users, Bytes(3, 'u'));

    writeFile(dir / "f", Bytes(10, 'f'));
    const CliResult r = runCli({QStringLiteral("transform"), QStringLiteral("A"), q(dir / "f")},
                               {.env = {{QStringLiteral("XDG_CACHE_HOME"), q(cache.path())}}});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(listDir(work), std::set<std::string>{users});
    EXPECT_EQ(readFile(work / users), Bytes(3, 'u'));
}

TEST(FileJobs, MessagesFollowTheLocaleAndEscapeControlCharacters) {
    TempDir dir;
    const QString missing = q(dir / "bad\nname\x1b[2J");
    struct Case {
        const char* lang;
        const char* summary;
        const char* reason;
    } cases[] = {
        {"C.UTF-8", "done 0, failed 1, skipped 0", "no such file"},
        {"ja_JP.UTF-8", "完了 0、失敗 1、スキップ 0", "ファイルが見つかりません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        const CliResult r = runCli({QStringLiteral("transform"), QStringLiteral("A"), missing},
                                   {.env = {{QStringLiteral("LANG"), QLatin1String(c.lang)}}});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.summary))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.reason))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("bad\\x0aname\\x1b[2J"))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QLatin1Char('\x1b')));
    }
    // -q keeps the failure and drops the summary.
    const CliResult quiet =
        runCli({QStringLiteral("-q"), QStringLiteral("transform"), QStringLiteral("A"), missing});
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_TRUE(quiet.err.contains(QStringLiteral("no such file")));
    EXPECT_FALSE(quiet.err.contains(QStringLiteral("done")));
}

TEST(FileJobs, UsageErrorsAndMissingLibrariesExitTwoTouchingNothing) {
    TempDir dir;
    const Bytes content = randomBytes(100, 13);
    writeFile(dir / "f", content);
    const QString f = q(dir / "f");
    struct Case {
        const char* name;
        QStringList args;
        bool noLibraries;
    } cases[] = {
        {"no command", {}, false},
        {"unknown command", {QStringLiteral("encrypt"), f}, false},
        {"unknown method", {QStringLiteral("transform"), QStringLiteral("LCX"), f}, false},
        {"no path", {QStringLiteral("transform"), QStringLiteral("A")}, false},
        {"unknown option",
         {QStringLiteral("transform"), QStringLiteral("-x"), QStringLiteral("A"), f},
         false},
        {"two key sources",
         {QStringLiteral("keyed"), QStringLiteral("--key-stdin"), QStringLiteral("--key-file"), f,
          f},
         false},
        {"key file missing",
         {QStringLiteral("keyed"), QStringLiteral("--key-file"), q(dir / "nokey"), f},
         false},
        {"no terminal for the key", {QStringLiteral("keyed"), f}, false},
        {"no transform library", {QStringLiteral("transform"), QStringLiteral("A"), f}, true},
        {"no keyed library", {QStringLiteral("keyed"), QStringLiteral("--key-stdin"), f}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = runCli(c.args, {.input = "key\n", .withoutLibraries = c.noLibraries});
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_EQ(readFile(dir / "f"), content);
    }
    // An option left without its value is a usage error, not a reason to
    // fall back to asking on the terminal.
    for (const QStringList& args :
         {QStringList{QStringLiteral("keyed"), f, QStringLiteral("--key-file")},
          QStringList{QStringLiteral("transform"), QStringLiteral("A"), f,
                      QStringLiteral("--key-file")}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("--key-file"))) << r.err.toStdString();
        EXPECT_EQ(readFile(dir / "f"), content);
    }
}

}  // namespace

// A key or password is read up to its limit and no further: a longer line is
// refused there, however long it would go on (/dev/zero never ends). A line
// of exactly the limit is read and left to the rules of the key or password.
TEST(Secrets, ALineLongerThanTheLimitIsRefusedThere) {
    TempDir dir;
    const Bytes content = randomBytes(100, 6);
    writeFile(dir / "f", content);
    const QString f = q(dir / "f");
    const QString exe = q(dir / "f.exe");
    const QByteArray tooLong(1025, 'k');
    const struct {
        const char* name;
        QStringList args;
        QByteArray input;
        bool pastLimit;
    } cases[] = {
        {"key file /dev/zero",
         {QStringLiteral("keyed"), QStringLiteral("--key-file"), QStringLiteral("/dev/zero"), f},
         {},
         true},
        {"password file /dev/zero",
         {QStringLiteral("package"), QStringLiteral("--password-file"), QStringLiteral("/dev/zero"),
          f, exe},
         {},
         true},
        {"key line",
         {QStringLiteral("keyed"), QStringLiteral("--key-stdin"), f},
         tooLong + "\n",
         true},
        {"password without a newline",
         {QStringLiteral("package"), QStringLiteral("--password-stdin"), f, exe},
         tooLong,
         true},
        {"key line of the limit",
         {QStringLiteral("keyed"), QStringLiteral("--key-stdin"), f},
         QByteArray(1024, 'k') + "\n",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = runCli(c.args, {.input = c.input});
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_EQ(r.err.contains(QStringLiteral("longer than 1024 bytes")), c.pastLimit)
            << r.err.toStdString();
        EXPECT_EQ(readFile(dir / "f"), content);
        EXPECT_FALSE(dozo::test::exists(dir / "f.exe"));
    }
}

}  // namespace dozo::test
