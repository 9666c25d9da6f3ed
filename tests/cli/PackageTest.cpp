// package: a package made from the command line opens with its own program.
#include "CliRun.h"

#include <files.h>
#include <temp_dir.h>

#include <gtest/gtest.h>

#include <QFile>

using dozo::test::Bytes;
using dozo::test::randomBytes;
using dozo::test::readFile;
using dozo::test::TempDir;
using dozo::test::writeFile;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

TEST(Package, MadeWithPasswordStdinRestoresWithThePackageProgram) {
    TempDir dir;
    const Bytes content = randomBytes(100000, 31);
    writeFile(dir / "report.txt", content);
    CliOptions options;
    options.input = "pass word\nignored\n";
    // OUT is left to the tab's rule: report.txt proposes report.exe.
    const CliResult made = runCli(
        {QStringLiteral("package"), QStringLiteral("--password-stdin"), q(dir / "report.txt")},
        options);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    ASSERT_TRUE(QFile::exists(q(dir / "report.exe")));
    EXPECT_EQ(readFile(dir / "report.txt"), content);

    TempDir out;
    CliOptions open;
    open.input = "pass word\n";
    const CliResult restored =
        runProgram(q(dir / "report.exe"),
                   {QStringLiteral("--password-stdin"), QStringLiteral("-o"), q(out.path())}, open);
    ASSERT_EQ(restored.exitCode, 0) << restored.err.toStdString();
    EXPECT_EQ(readFile(out / "report.txt"), content);
}

TEST(Package, RefusalsLeaveNoPackage) {
    TempDir dir, empty;
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
        {"no package library", {QStringLiteral("--password-stdin")}, "pw\n", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliOptions options;
        options.input = c.input;
        if (c.noLibraries) options.env[QStringLiteral("DOZO_SYSTEM_DIR")] = q(empty.path());
        const CliResult r = runCli(QStringList{QStringLiteral("package")} + c.args +
                                       QStringList{q(dir / "target.bin"), q(dir / "out.exe")},
                                   options);
        EXPECT_EQ(r.exitCode, c.exit) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(q(dir / "out.exe")));
    }
    // Written over its own target, the package would take the only copy.
    const CliResult self = runCli({QStringLiteral("package"), QStringLiteral("--password-stdin"),
                                   q(dir / "target.bin"), q(dir / "target.bin")},
                                  {"pw\n", {}, {}});
    EXPECT_EQ(self.exitCode, 2);
    EXPECT_EQ(readFile(dir / "target.bin"), randomBytes(100, 32));
}

}  // namespace
