// The pure rules of start-up: version texts, the caption and where the
// folders are.
#include "core/startup/AppDirectories.h"
#include "core/startup/StartUp.h"
#include "core/startup/VersionText.h"
#include "core/startup/WorkDirectory.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <climits>

namespace {

struct VersionCase {
    std::int32_t number;
    const char* text;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << c.number;
}

class CoreVersionText : public testing::TestWithParam<VersionCase> {};

TEST_P(CoreVersionText, HundredthsWithTwoDecimals) {
    EXPECT_EQ(dozo::versionText(GetParam().number).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, CoreVersionText,
    testing::Values(VersionCase{111, "1.11"}, VersionCase{5, "0.05"}, VersionCase{1234, "12.34"},
                    VersionCase{101, "1.01"}, VersionCase{0, "0.00"}, VersionCase{100, "1.00"},
                    VersionCase{267, "2.67"}, VersionCase{-1, "-0.01"}, VersionCase{-250, "-2.50"},
                    VersionCase{INT_MIN, "-21474836.48"}, VersionCase{INT_MAX, "21474836.47"}));

TEST(CoreCaption, MajorDotMinorInTwoDigits) {
    EXPECT_EQ(dozo::windowCaption("Vuvurazir", 2, 20).toStdString(), "Vuvurazir V2.20");
    EXPECT_EQ(dozo::windowCaption("Vuvurazir", 2, 5).toStdString(), "Vuvurazir V2.05");
    EXPECT_EQ(dozo::windowCaption("Vuvurazir", 10, 123).toStdString(), "Vuvurazir V10.123");
    EXPECT_EQ(dozo::StartUp::caption().toStdString(), "Vuvurazir V2.20");
}

// The program reaches its libraries from its own folder the way the build
// tree lays them out, wherever the tree is installed.
TEST(CoreDirectoriesTest, SystemDirectoryAsInTheBuildTreeUnlessOverridden) {
    const QByteArray saved = qgetenv("DOZO_SYSTEM_DIR");
    qunsetenv("DOZO_SYSTEM_DIR");
    auto dirs = dozo::AppDirectories::resolve("/opt/dozo/bin");
    EXPECT_EQ(dirs.application.toStdString(), "/opt/dozo/bin");
    EXPECT_EQ(dirs.system.toStdString(), "/opt/dozo/" DOZO_LIBRARY_SUBDIR "/");

    qputenv("DOZO_SYSTEM_DIR", "/srv/libs");
    dirs = dozo::AppDirectories::resolve("/opt/dozo/bin");
    EXPECT_EQ(dirs.system.toStdString(), "/srv/libs/");

    dirs = dozo::AppDirectories::resolve("/opt/dozo/bin/", "/explicit/");
    EXPECT_EQ(dirs.application.toStdString(), "/opt/dozo/bin");
    EXPECT_EQ(dirs.system.toStdString(), "/explicit/");
    if (saved.isNull()) {
        qunsetenv("DOZO_SYSTEM_DIR");
    } else {
        qputenv("DOZO_SYSTEM_DIR", saved);
    }
}

TEST(CoreWorkDirectory, ApplicationDirectoryWhenWritable) {
    QTemporaryDir app;
    const dozo::WorkDirectory work(app.path());
    EXPECT_EQ(work.path(), QDir(app.path()).absolutePath());
    EXPECT_EQ(work.workFile(), work.path() + "/Temp.$$$");
    EXPECT_EQ(work.listFolder(), work.path() + "/TMP");
    EXPECT_EQ(work.listFile(), work.path() + "/TMP/LPF.tmp");
}

TEST(CoreWorkDirectory, CacheFolderWhenTheApplicationDirectoryIsUnusable) {
    QTemporaryDir root;
    const dozo::WorkDirectory work(root.filePath("does-not-exist"));
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    EXPECT_EQ(work.path(), cache);
    EXPECT_TRUE(QDir(cache).exists());
    EXPECT_EQ(work.workFile(), cache + "/Temp.$$$");
}

}  // namespace
