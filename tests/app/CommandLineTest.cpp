// The last command-line argument becomes the package panel's target, whole.
#include "Controls.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/panels/PackagePanel.h"
#include "app/window/CommandLine.h"
#include "app/window/frmMain.h"
#include "build_tree.h"
#include "core/startup/AppInfo.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QProcess>

namespace {

struct CommandLineCase {
    const char* name;
    QStringList arguments;
    const char* target;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) {
    *os << c.name;
}

class AppCommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(AppCommandLine, LastArgumentIsTheTarget) {
    TestFolders folders;
    ScriptedUiServices ui;
    dozo::frmMain window(folders.options(GetParam().arguments), &ui);
    EXPECT_EQ(window.state().TFN.toStdString(), GetParam().target);
    EXPECT_EQ(control<QLineEdit>(window, "TFile")->text().toStdString(), GetParam().target);
    EXPECT_EQ(window.SSTab1()->currentIndex(), 0) << "the package tab is the one shown";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, AppCommandLine,
    testing::Values(
        CommandLineCase{"None", {}, ""}, CommandLineCase{"One", {"/tmp/a.txt"}, "/tmp/a.txt"},
        CommandLineCase{"Several", {"/tmp/a.txt", "/tmp/b.txt"}, "/tmp/b.txt"},
        // The caller has split the arguments already: a space is part of a path.
        CommandLineCase{
            "PathWithSpaces", {"/tmp/my files/report 2.txt"}, "/tmp/my files/report 2.txt"},
        CommandLineCase{"TrailingSpaceKept", {"/tmp/name "}, "/tmp/name "},
        CommandLineCase{"EmptyLastArgument", {"/tmp/a.txt", ""}, ""},
        CommandLineCase{"Japanese", {"/tmp/暗号 ファイル.txt"}, "/tmp/暗号 ファイル.txt"}),
    [](const testing::TestParamInfo<CommandLineCase>& test) {
        return std::string(test.param.name);
    });

using Action = dozo::CommandLine::Action;

struct OptionCase {
    const char* name;
    QStringList arguments;
    Action action;
    QStringList files;
};

const OptionCase kOptionCases[] = {
    {"Help", {"--help"}, Action::Help, {}},
    {"ShortHelp", {"/tmp/a", "-h"}, Action::Help, {}},
    {"Version", {"--version"}, Action::Version, {}},
    {"Unknown", {"--frobnicate", "/tmp/a"}, Action::Refused, {}},
    {"UnknownShort", {"-x"}, Action::Refused, {}},
    // After "--" every argument is a file, and "--" itself is none.
    {"HelpAsFile", {"--", "--help"}, Action::OpenWindow, {"--help"}},
    {"DashesInTheMiddle", {"/tmp/a", "--", "-x", "--"}, Action::OpenWindow, {"/tmp/a", "-x", "--"}},
    // A lone dash, or a dash inside a name, is a file.
    {"LoneDash", {"-"}, Action::OpenWindow, {"-"}},
    {"DashInside", {"/tmp/a-b", "a--help"}, Action::OpenWindow, {"/tmp/a-b", "a--help"}},
};

TEST(AppCommandLineOptions, OptionsEndTheProgramAndFilesReachTheWindow) {
    for (const OptionCase& c : kOptionCases) {
        SCOPED_TRACE(c.name);
        const dozo::CommandLine line = dozo::CommandLine::parse(c.arguments);
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.files, c.files);
        if (c.action != Action::OpenWindow) {
            EXPECT_FALSE(line.text.isEmpty());
        }
    }
    // Qt's options are still in the raw command line: not refused there.
    EXPECT_EQ(dozo::CommandLine::parse({"-platform", "xcb", "/tmp/a"}, true).action,
              Action::OpenWindow);
    EXPECT_EQ(dozo::CommandLine::parse({"-style", "fusion", "--version"}, true).action,
              Action::Version);
}

// The built program, with no display to connect to: --help and --version must
// answer without one; an option that is neither Qt's nor ours is refused
// once Qt has taken its own (here with a platform that needs no display).
TEST(AppCommandLineOptions, TheProgramAnswersWithoutADisplay) {
    const QString program = QString::fromStdString(dozo::test::inBuildTree(DOZO_WINDOW_PATH));
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << "build the dozo target";
    const QString version = QStringLiteral("dozo %1.%2.%3\n")
                                .arg(dozo::kVersionMajor)
                                .arg(dozo::kVersionMinor, 2, 10, QLatin1Char('0'))
                                .arg(dozo::kVersionRevision);
    const struct {
        QStringList arguments;
        int code;
        QString out;  // the start of standard output
        QString err;  // in standard error; empty when nothing may be there
    } cases[] = {
        {{"--help"}, 0, QStringLiteral("Usage: dozo [FILE]\n"), {}},
        {{"--version"}, 0, version, {}},
        {{"-platform", "xcb", "--version"}, 0, version, {}},
        {{"-platform", "offscreen", "--bogus", "/tmp/a"}, 2, {}, "unknown option '--bogus'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LC_MESSAGES"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(env);
        process.start(program, c.arguments);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.code);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(out.startsWith(c.out)) << out.toStdString();
        if (c.out.isEmpty()) {
            EXPECT_TRUE(out.isEmpty()) << out.toStdString();
        }
        if (c.err.isEmpty()) {
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        } else {
            EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
        }
    }
}

// After "--" a file named like one of Qt's options is a file: Qt never sees
// it. It used to take "-platform xcb" there as the platform to load, and the
// program ended without a display instead of opening the window.
TEST(AppCommandLineOptions, QtOptionsAfterTheDashesAreFilesNotOptions) {
    const QString program = QString::fromStdString(dozo::test::inBuildTree(DOZO_WINDOW_PATH));
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << "build the dozo target";
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) env.remove(QLatin1String(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(program, {"--", "-platform", "xcb"});
    ASSERT_TRUE(process.waitForStarted());
    // Still there with its window after a while: the arguments were files.
    EXPECT_FALSE(process.waitForFinished(3000))
        << QString::fromLocal8Bit(process.readAllStandardError()).toStdString();
    process.kill();
    process.waitForFinished();
}

}  // namespace
