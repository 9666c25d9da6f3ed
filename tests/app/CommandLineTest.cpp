// The last command-line argument becomes the package panel's target, whole.
#include "Controls.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/panels/PackagePanel.h"
#include "app/window/frmMain.h"

#include <gtest/gtest.h>

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

}  // namespace
