// The pure rules of start-up: version texts, the caption and where the
// folders are.
#include "core/startup/AppDirectories.h"
#include "core/startup/StartUp.h"
#include "core/startup/VersionText.h"
#include "core/startup/WorkDirectory.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
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
// tree lays them out, wherever the tree is installed; the environment has no
// say (it once had, through DOZO_SYSTEM_DIR), only the program's own caller.
TEST(CoreDirectoriesTest, SystemDirectoryAsInTheBuildTreeUnlessOverridden) {
    const QByteArray saved = qgetenv("DOZO_SYSTEM_DIR");
    qputenv("DOZO_SYSTEM_DIR", "/srv/libs");
    auto dirs = dozo::AppDirectories::resolve("/opt/dozo/bin");
    EXPECT_EQ(dirs.application.toStdString(), "/opt/dozo/bin");
    EXPECT_EQ(dirs.system.toStdString(), "/opt/dozo/" DOZO_LIBRARY_SUBDIR "/");

    dirs = dozo::AppDirectories::resolve("/opt/dozo/bin/", "/explicit/");
    EXPECT_EQ(dirs.application.toStdString(), "/opt/dozo/bin");
    EXPECT_EQ(dirs.system.toStdString(), "/explicit/");
    if (saved.isNull()) {
        qunsetenv("DOZO_SYSTEM_DIR");
    } else {
        qputenv("DOZO_SYSTEM_DIR", saved);
    }
}

// Never the installation's folder, writable or not: the user's own cache
// folder, private to the user; a link planted in its place is not followed.
TEST(CoreWorkDirectory, TheUsersCacheFolderMadePrivate) {
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
    const dozo::WorkDirectory work = dozo::WorkDirectory::forUser();
    EXPECT_TRUE(work.path().startsWith(home.path())) << work.path().toStdString();
    EXPECT_EQ(QFileInfo(work.path()).permissions() & 0x0077, QFileDevice::Permissions());
    EXPECT_EQ(work.workFile(), work.path() + "/Temp.$$$");
    EXPECT_EQ(work.listFile(), work.path() + "/TMP/LPF.tmp");

    const QString cache = work.path();
    QDir(cache).removeRecursively();
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), cache));
    const dozo::WorkDirectory planted = dozo::WorkDirectory::forUser();
    EXPECT_NE(planted.path(), cache);
    EXPECT_FALSE(planted.path().startsWith(elsewhere.path()));
    qunsetenv("XDG_CACHE_HOME");
}

// Where the cache folder cannot serve (a file there, another user's folder, a
// relative path that would put it in whatever folder a run starts in),
// each process works in a folder made for it in the temporary folder, and
// takes it away with it: runs of a user without a usable home left one
// behind each.
TEST(CoreWorkDirectory, AFolderMadeForTheProcessGoesWithIt) {
    QTemporaryDir home;
    QTemporaryDir temporary;
    const QString notAFolder = home.filePath(QStringLiteral("cache"));
    QFile file(notAFolder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    const QString before = QDir::currentPath();
    const auto restore = qScopeGuard([&before] {
        QDir::setCurrent(before);
        qunsetenv("TMPDIR");
        qunsetenv("XDG_CACHE_HOME");
    });
    ASSERT_TRUE(QDir::setCurrent(home.path()));
    for (const QByteArray& cache : {QFile::encodeName(notAFolder), QByteArray("relative/cache")}) {
        SCOPED_TRACE(cache.toStdString());
        qputenv("XDG_CACHE_HOME", cache);
        QString made;
        {
            const dozo::WorkDirectory work = dozo::WorkDirectory::forUser();
            made = work.path();
            EXPECT_TRUE(made.startsWith(temporary.path())) << made.toStdString();
            EXPECT_EQ(QFileInfo(made).permissions() & 0x0077, QFileDevice::Permissions());
            {
                // What a failed pack of the window leaves for the next one.
                const dozo::WorkDirectory copy = work;
                ASSERT_TRUE(QDir().mkpath(copy.listFolder()));
                QFile list(copy.listFile());
                ASSERT_TRUE(list.open(QIODevice::WriteOnly));
            }
            EXPECT_TRUE(QFileInfo::exists(work.listFile())) << "gone with a copy still in use";
        }
        EXPECT_FALSE(QFileInfo::exists(made));
        EXPECT_TRUE(QDir(temporary.path()).isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(home.filePath(QStringLiteral("relative"))));
}

}  // namespace
