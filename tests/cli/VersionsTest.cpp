#include "CliRun.h"

#include <gtest/gtest.h>

namespace {

TEST(Versions, NamesEachLibraryItsPathAndVersionOrSaysItIsMissing) {
    const CliResult found = runCli({QStringLiteral("versions")});
    EXPECT_EQ(found.exitCode, 0) << found.out.toStdString() << found.err.toStdString();
    for (const char* line : {"unlha32\t", "Rozu32\t", "Vod32\t", "rivo\t"}) {
        EXPECT_TRUE(found.out.contains(QLatin1String(line))) << line;
    }
    EXPECT_TRUE(found.out.contains(QStringLiteral("libRozu32.so\tRozu32.DLL")) ||
                found.out.contains(QStringLiteral("libRozu32.so\t")))
        << found.out.toStdString();
    EXPECT_TRUE(found.out.contains(QStringLiteral(" Ver "))) << found.out.toStdString();

    const CliResult missing = runCli({QStringLiteral("versions")}, {.withoutLibraries = true});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out.count(QStringLiteral("\tmissing")), 4) << missing.out.toStdString();

    const CliResult version = runCli({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("dozo-cli 2.20.")));
    const CliResult help = runCli({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("dozo-cli package")));
}

}  // namespace
