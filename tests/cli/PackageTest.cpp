// package: a package made from the command line opens with its own program.
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

namespace dozo::test {
namespace {

TEST(Package, MadeWithPasswordStdinRestoresWithThePackageProgram) {
    TempDir dir;
    const Bytes content = randomBytes(100000, 31);
    writeFile(dir / "report.txt", content);
    // OUT is left to the tab's rule: report.txt proposes report.exe.
    const CliResult made =
        runCli({QStringLiteral("package"), QStringLiteral("--password-stdin"),
                QStringLiteral("--for"), QStringLiteral("linux"), q(dir / "report.txt")},
               {.input = "pass word\nignored\n"});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    ASSERT_TRUE(QFile::exists(q(dir / "report.exe")));
    EXPECT_EQ(readFile(dir / "report.txt"), content);

    TempDir out;
    const CliResult restored =
        runProgram(q(dir / "report.exe"),
                   {QStringLiteral("--password-stdin"), QStringLiteral("-o"), q(out.path())},
                   {.input = "pass word\n"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err.toStdString();
    EXPECT_EQ(readFile(out / "report.txt"), content);
}

TEST(Package, RefusalsLeaveNoPackage) {
    TempDir dir;
    writeFile(dir / "target.bin", randomBytes(100, 32));
    writeFile(dir / "pw.txt", Bytes{});
    struct Case {
        const char* name;
        QStringList args;
        QByteArray input;
        int exit;
        bool noLibraries;
    } cases[] = {
        {"empty password", {QStringLiteral("--password-stdin")}, "\n", 2, false},
        {"empty password file",
         {QStringLiteral("--password-file"), q(dir / "pw.txt")},
         "",
         2,
         false},
        {"password of 101 characters",
         {QStringLiteral("--password-stdin")},
         QByteArray(101, 'p') + "\n",
         2,
         false},
        {"no terminal", {}, "", 2, false},
        {"unknown system",
         {QStringLiteral("--password-stdin"), QStringLiteral("--for"), QStringLiteral("macos")},
         "pw\n",
         2,
         false},
        {"no package library", {QStringLiteral("--password-stdin")}, "pw\n", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = runCli(QStringList{QStringLiteral("package")} + c.args +
                                       QStringList{q(dir / "target.bin"), q(dir / "out.exe")},
                                   {.input = c.input, .withoutLibraries = c.noLibraries});
        EXPECT_EQ(r.exitCode, c.exit) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(q(dir / "out.exe")));
    }
    // A system it does not know (here none: the value is the target's name) is
    // refused by the option's name.
    const CliResult bare = runCli({QStringLiteral("package"), QStringLiteral("--password-stdin"),
                                   QStringLiteral("--for"), q(dir / "target.bin")},
                                  {.input = "pw\n"});
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_TRUE(bare.err.contains(QStringLiteral("--for"))) << bare.err.toStdString();
    // Written over its own target, the package would take the only copy.
    const CliResult self = runCli({QStringLiteral("package"), QStringLiteral("--password-stdin"),
                                   q(dir / "target.bin"), q(dir / "target.bin")},
                                  {.input = "pw\n"});
    EXPECT_EQ(self.exitCode, 2);
    EXPECT_EQ(readFile(dir / "target.bin"), randomBytes(100, 32));
    // A proposal made by cutting four characters must stay in the folder:
    // "ab" would give "<parent>.exe".
    const std::filesystem::path inner = dir / "in";
    std::filesystem::create_directory(inner);
    writeFile(inner / "ab", randomBytes(10, 1));
    const CliResult cut =
        runCli({QStringLiteral("package"), QStringLiteral("--password-stdin"), q(inner / "ab")},
               {.input = "pw\n"});
    EXPECT_EQ(cut.exitCode, 2) << cut.err.toStdString();
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"in", "pw.txt", "target.bin"}));
    EXPECT_EQ(listDir(inner), std::set<std::string>{"ab"});
}

// Another name that reaches the target is the target: the package written
// there would take the place of the only plain copy.
TEST(Package, AnyOtherNameOfTheTargetIsRefused) {
    TempDir dir;
    const Bytes content = randomBytes(100, 40);
    std::filesystem::create_directory(dir / "a");
    std::filesystem::create_directory(dir / "b");
    writeFile(dir / "a" / "t.txt", content);
    const QStringList privateMounts = {QStringLiteral("unshare"), QStringLiteral("-m"),
                                       QStringLiteral("--propagation"), QStringLiteral("private")};
    const struct {
        const char* name;
        const char* makeName;  // a shell command
        const char* out;
        bool mounts;
    } cases[] = {
        {"link", "ln -s a/t.txt link.exe", "link.exe", false},
        {"hard link", "ln a/t.txt hard.exe", "hard.exe", false},
        {"folder mounted twice", "mount --bind a b", "b/t.txt", true},
    };
    const char* notTried = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.mounts && runProgram(QStringLiteral("/usr/bin/env"),
                                   privateMounts + QStringList{QStringLiteral("true")})
                                .exitCode != 0) {
            notTried = c.name;
            continue;
        }
        const QStringList shell = {
            QStringLiteral("/bin/sh"), QStringLiteral("-c"),
            QStringLiteral(R"(%1 && exec "$0" package --password-stdin --overwrite a/t.txt %2)")
                .arg(QString::fromUtf8(c.makeName), QString::fromUtf8(c.out)),
            q(builtCli())};
        const CliResult r = runProgram(QStringLiteral("/usr/bin/env"),
                                       (c.mounts ? privateMounts : QStringList{}) + shell,
                                       {.input = "pw\n", .workingDirectory = q(dir.path())});
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_EQ(readFile(dir / "a" / "t.txt"), content);
    }
    EXPECT_EQ(listDir(dir / "a"), std::set<std::string>{"t.txt"});
    EXPECT_TRUE(listDir(dir / "b").empty());
    if (notTried) GTEST_SKIP() << "no private mounts here: " << notTried << " not tried";
}

// A name is bytes: one that is not UTF-8 must not turn into another file's
// name (its stray byte read as U+FFFD) and have that file packaged, rewritten
// or written over in its place.
TEST(Package, NamesThatAreNotUtf8AreRefusedNotTakenForOthers) {
    TempDir dir;
    const Bytes given = randomBytes(100, 38);
    const Bytes lookalike = randomBytes(100, 39);
    writeFile(dir / "x\xe9.txt", given);
    writeFile(dir / "x\xef\xbf\xbd.txt", lookalike);
    const std::set<std::string> before = listDir(dir.path());
    const struct {
        const char* name;
        const char* words;  // "$bad" is "x" and the byte 0xE9
    } cases[] = {
        {"target", R"(package --password-stdin "$bad.txt" out.exe)"},
        {"file to rewrite", R"(transform A "$bad.txt")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = runProgram(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral(R"(bad=$(printf 'x\351'); exec "$0" )") + QString::fromUtf8(c.words),
             q(builtCli())},
            {.input = "pw\n", .workingDirectory = q(dir.path())});
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("x\\xe9"))) << r.err.toStdString();
        EXPECT_EQ(listDir(dir.path()), before);
        EXPECT_EQ(readFile(dir / "x\xe9.txt"), given);
        EXPECT_EQ(readFile(dir / "x\xef\xbf\xbd.txt"), lookalike);
    }
}

}  // namespace

#ifdef DOZO_FAST_RIVO
namespace {

// An installation holding the package library with the cheap key cost and
// the real archiver.
class FastPackages : public testing::Test {
protected:
    void SetUp() override { options.installation = &installation; }
    // report.txt packaged with the password "pw" into the archive beside `out`.
    CliResult packageLzh(const std::string& out) {
        options.input = "pw\n";
        return runCli(
            {QStringLiteral("package"), QStringLiteral("--password-stdin"), QStringLiteral("--lzh"),
             QStringLiteral("--for=linux"), q(dir / "report.txt"), q(dir / out)},
            options);
    }
    const Installation installation{{{"librivo.so", dozo::test::inBuildTree(DOZO_FAST_RIVO)},
                                     {"libunlha32.so", dozo::test::inBuildTree(DOZO_UNLHA32)}}};
    TempDir dir;
    CliOptions options;
};

TEST_F(FastPackages, PasswordFileWithJapaneseAndSpacesOpensWithTheSamePassword) {
    const Bytes content = randomBytes(5000, 33);
    writeFile(dir / "写真 1.jpeg", content);
    const QByteArray password = QStringLiteral(" 合言葉 with spaces ").toUtf8();
    writeFile(dir / "pw", Bytes(password.begin(), password.end()));  // no newline: taken whole
    const CliResult made =
        runCli({QStringLiteral("package"), QStringLiteral("--password-file"), q(dir / "pw"),
                QStringLiteral("--for=linux"), q(dir / "写真 1.jpeg")},
               options);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    // The tab's rule cuts four characters whatever they are.
    const std::string package = dir / "写真 1..exe";
    ASSERT_TRUE(dozo::test::exists(package));

    TempDir out;
    const CliResult wrong = runProgram(
        q(package), {QStringLiteral("--password-stdin"), QStringLiteral("-o"), q(out.path())},
        {.input = password.trimmed() + "\n"});
    EXPECT_NE(wrong.exitCode, 0);
    const CliResult restored = runProgram(
        q(package),
        {QStringLiteral("--password-file"), q(dir / "pw"), QStringLiteral("-o"), q(out.path())});
    ASSERT_EQ(restored.exitCode, 0) << restored.err.toStdString();
    EXPECT_EQ(readFile(out / "写真 1.jpeg"), content);
}

TEST_F(FastPackages, LzhPacksThePackageIntoTheArchiveTheTabNames) {
    const Bytes content = randomBytes(20000, 34);
    writeFile(dir / "report.txt", content);
    // A missing folder for OUT is the package library's failure, named.
    EXPECT_EQ(packageLzh("out/pkg.exe").exitCode, 1);
    EXPECT_FALSE(dozo::test::exists(dir / "out/pkg.lzh"));

    const CliResult packed = packageLzh("pkg.exe");
    ASSERT_EQ(packed.exitCode, 0) << packed.err.toStdString();
    ASSERT_TRUE(dozo::test::exists(dir / "pkg.lzh"));
    EXPECT_FALSE(dozo::test::exists(dir / "pkg.exe"));
    TempDir out;
    ASSERT_EQ(runProgram(QStringLiteral("lhasa"),
                         {QStringLiteral("xw=") + q(out.path()), q(dir / "pkg.lzh")})
                  .exitCode,
              0);
    // The archive stores no Unix permissions: the package comes out plain.
    ASSERT_EQ(::chmod((out / "pkg.exe").c_str(), 0755), 0);
    TempDir restored;
    const CliResult opened =
        runProgram(q(out / "pkg.exe"),
                   {QStringLiteral("--password-stdin"), QStringLiteral("-o"), q(restored.path())},
                   {.input = "pw\n"});
    ASSERT_EQ(opened.exitCode, 0) << opened.err.toStdString();
    EXPECT_EQ(readFile(restored / "report.txt"), content);
}

// Bytes that are not UTF-8 go to the library as they are in the file: the
// package program, given the same file, opens the package; the same text in
// UTF-8 does not.
TEST_F(FastPackages, ShiftJisPasswordFileOpensWithTheSameFile) {
    const Bytes content = randomBytes(2000, 36);
    writeFile(dir / "memo.txt", content);
    // "表パス1": 0x5C, a backslash on its own, is the second byte of 表.
    writeFile(dir / "pw.sjis", Bytes{0x95, 0x5C, 0x83, 0x70, 0x83, 0x58, '1', '\n'});
    writeFile(dir / "pw.utf8", Bytes{0xE8, 0xA1, 0xA8, 0xE3, 0x83, 0x91, 0xE3, 0x82, 0xB9, '1'});
    const CliResult made =
        runCli({QStringLiteral("package"), QStringLiteral("--password-file"), q(dir / "pw.sjis"),
                QStringLiteral("--for=linux"), q(dir / "memo.txt"), q(dir / "memo.exe")},
               options);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    TempDir out;
    const CliResult wrong =
        runProgram(q(dir / "memo.exe"), {QStringLiteral("--password-file"), q(dir / "pw.utf8"),
                                         QStringLiteral("-o"), q(out.path())});
    EXPECT_NE(wrong.exitCode, 0);
    const CliResult restored =
        runProgram(q(dir / "memo.exe"), {QStringLiteral("--password-file"), q(dir / "pw.sjis"),
                                         QStringLiteral("-o"), q(out.path())});
    ASSERT_EQ(restored.exitCode, 0) << restored.err.toStdString();
    EXPECT_EQ(readFile(out / "memo.txt"), content);
}

// A package library in the current folder is not ours. With none installed
// and an empty entry in LD_LIBRARY_PATH (the current folder, to the dynamic
// loader), the password goes nowhere: the program says the library is
// missing.
TEST_F(FastPackages, ALibraryInTheCurrentFolderNeverGetsThePassword) {
    const Installation withoutRivo{{{"libunlha32.so", dozo::test::inBuildTree(DOZO_UNLHA32)}}};
    writeFile(dir / "report.txt", randomBytes(100, 37));
    ASSERT_EQ(
        ::symlink(dozo::test::inBuildTree(DOZO_FAST_RIVO).c_str(), (dir / "librivo.so").c_str()),
        0);
    for (const char* path : {"/nonexistent:", ":/nonexistent"}) {
        SCOPED_TRACE(path);
        const CliResult r =
            runCli({QStringLiteral("package"), QStringLiteral("--password-stdin"),
                    q(dir / "report.txt"), q(dir / "report.exe")},
                   {.input = "pw\n",
                    .env = {{QStringLiteral("LD_LIBRARY_PATH"), QString::fromLatin1(path)}},
                    .workingDirectory = q(dir.path()),
                    .installation = &withoutRivo});
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("the rivo library was not found")))
            << r.err.toStdString();
        EXPECT_FALSE(dozo::test::exists(dir / "report.exe"));
    }
}

// Nothing asks before a file at OUT is replaced, so it is kept unless the
// caller says otherwise; with --lzh the executable would be deleted after
// packing, so that file would be lost just the same.
TEST_F(FastPackages, AFileAtTheOutputIsKeptUnlessOverwriteIsGiven) {
    writeFile(dir / "report.txt", randomBytes(3000, 41));
    const Bytes kept(10, 'k');
    const struct {
        const char* name;
        QStringList options;
        bool danglingLink;
        int exit;
    } cases[] = {
        {"file", {}, false, 2},
        {"file, --lzh", {QStringLiteral("--lzh")}, false, 2},
        {"link to nothing", {}, true, 2},
        {"file, --overwrite", {QStringLiteral("--overwrite")}, false, 0},
        {"file, --overwrite --for=windows",
         {QStringLiteral("--overwrite"), QStringLiteral("--for=windows")},
         false,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir / "report.exe");
        if (c.danglingLink)
            ASSERT_EQ(::symlink("gone", (dir / "report.exe").c_str()), 0);
        else
            writeFile(dir / "report.exe", kept);
        options.input = "pw\n";
        const CliResult r =
            runCli(QStringList{QStringLiteral("package"), QStringLiteral("--password-stdin")} +
                       c.options + QStringList{q(dir / "report.txt")},
                   options);
        EXPECT_EQ(r.exitCode, c.exit) << r.err.toStdString();
        EXPECT_FALSE(dozo::test::exists(dir / "report.lzh"));
        if (c.exit == 0) {
            // For Windows, where most who receive an .exe open it, unless
            // --for linux says otherwise (the packages the other tests open).
            const Bytes made = readFile(dir / "report.exe");
            ASSERT_GE(made.size(), 2u);
            EXPECT_EQ(Bytes(made.begin(), made.begin() + 2), (Bytes{'M', 'Z'}));
        } else if (c.danglingLink) {
            EXPECT_FALSE(dozo::test::exists(dir / "gone"));
        } else {
            EXPECT_EQ(readFile(dir / "report.exe"), kept);
            EXPECT_TRUE(r.err.contains(QStringLiteral("--overwrite"))) << r.err.toStdString();
        }
    }
}

TEST_F(FastPackages, LzhKeepsTheExecutableWhenTheArchiveKeptAnotherEntry) {
    writeFile(dir / "report.txt", randomBytes(3000, 35));
    // An entry of the executable's name from the future: the archiver's
    // update keeps it and still succeeds.
    writeFile(dir / "pkg.exe", Bytes(10, 'o'));
    const struct timespec future[2] = {{0, UTIME_OMIT}, {4102444800, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "pkg.exe").c_str(), future, 0), 0);
    ASSERT_EQ(runCli({QStringLiteral("pack"), q(dir / "pkg.lzh"), q(dir / "pkg.exe")}).exitCode, 0);
    ASSERT_EQ(::unlink((dir / "pkg.exe").c_str()), 0);

    const CliResult r = packageLzh("pkg.exe");
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(dozo::test::exists(dir / "pkg.exe"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("the file was kept"))) << r.err.toStdString();
}

}  // namespace
#endif

}  // namespace dozo::test
