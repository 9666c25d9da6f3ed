// The in-place job over the real transform library: what its outcome tells
// beyond done and failed, and the work files it hands the library.
#include "TestFolders.h"
#include "core/jobs/FolderWalk.h"
#include "core/jobs/InPlaceJob.h"
#include "core/libraries/Library.h"
#include "core/startup/WorkDirectory.h"
#include "core/text/Reasons.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <files.h>
#include <unistd.h>

#include <memory>

namespace {

using dozo::InPlaceJob;

class CoreInPlaceJob : public testing::Test {
protected:
    void SetUp() override {
        const QString built = TestFolders::builtLibrary(QStringLiteral("Rozu32"));
        if (built.isEmpty()) GTEST_SKIP() << "libRozu32.so is not built";
        rozu32 = std::make_unique<dozo::Library>(QStringLiteral("Rozu32"),
                                                 QStringList{QFileInfo(built).path()});
        ASSERT_TRUE(work.isValid() && files.isValid());
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = files.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    dozo::BatchOutcome run(int method, const QStringList& paths) {
        return InPlaceJob::transform(*rozu32, method)
            .run(paths, nullptr, {QFile::encodeName(work.filePath(QStringLiteral("Temp.$$$")))},
                 {});
    }

    std::unique_ptr<dozo::Library> rozu32;
    QTemporaryDir work, files;
};

// FileEncryptionLCR is not its own inverse on odd lengths from 3 bytes: the
// run names those files and the way back (LCB then LCRB, which the library's
// tests hold to).
TEST_F(CoreInPlaceJob, FilesLcrDoesNotRestoreAreNamedWithTheWayBack) {
    constexpr int kLcr = 3, kLcb = 4;
    QStringList paths;
    QList<QByteArray> originals;
    for (const int size : {0, 1, 2, 3, 4, 5, 4099}) {
        originals.append(QByteArray("abcdefgh").repeated(600).left(size));
        paths.append(write(QStringLiteral("f%1").arg(size), originals.last()));
    }
    const dozo::BatchOutcome first = run(kLcr, paths);
    ASSERT_TRUE(first.allSucceeded());
    EXPECT_EQ(first.oneWay(), (QStringList{paths[3], paths[5], paths[6]}));
    const QString message = first.message();
    EXPECT_TRUE(message.contains(dozo::Reasons::notItsOwnInverse() + ":\n    " + paths[3]))
        << message.toStdString();
    EXPECT_TRUE(run(kLcb, paths).oneWay().isEmpty()) << "only FileEncryptionLCR";
}

// The work file Temp.$$$ is ours only when it carries our mark: a user's own
// file of that name is neither truncated nor removed (the run uses a file of
// its own beside it), and one a killed call left goes at the next start.
TEST_F(CoreInPlaceJob, AUsersTempFileIsNeverTakenAndOursGoesAtTheNextStart) {
    const QString users = work.filePath(QStringLiteral("Temp.$$$"));
    {
        QFile file(users);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("the user's") == 10);
    }
    const QString path = write(QStringLiteral("f"), "abc");
    EXPECT_TRUE(run(0, {path}).allSucceeded());
    EXPECT_EQ(read(path), QByteArray("\x9e\x9d\x9c"));
    EXPECT_EQ(read(users), "the user's");
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Temp.$$$")});

    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    const auto restore = qScopeGuard([] { qunsetenv("XDG_CACHE_HOME"); });
    const QString folder = dozo::WorkDirectory::forUser().path();
    const QByteArray left = QFile::encodeName(folder + QStringLiteral("/Temp.$$$"));
    // What a kill during a call leaves: the work file, made and marked.
    ASSERT_EQ(dozo::test::runInChild([&] {
                  (void)dozo::WorkDirectory::markWorkFile(left);
                  ::_exit(0);
                  return 0;
              }),
              0);
    ASSERT_TRUE(QFileInfo::exists(QFile::decodeName(left)));
    EXPECT_EQ(dozo::WorkDirectory::forUser().path(), folder);
    EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(left)));
    // The user's own file there stays.
    QFile own(QFile::decodeName(left));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.close();
    dozo::WorkDirectory::forUser();
    EXPECT_TRUE(own.exists());
}

// Our own marked temporaries in a folder, left by a kill or under way, are
// no files of the user's: a walk neither lists nor counts them. A user's
// file merely named like one is the user's.
TEST_F(CoreInPlaceJob, AWalkPassesOverOurTemporariesOnly) {
    const QString user = write(QStringLiteral("notes.txt"), "n");
    const QByteArray scratch = dozo::WorkDirectory(files.path()).workFiles(2)[1];
    ASSERT_EQ(dozo::WorkDirectory::markWorkFile(scratch), scratch);
    const QString lookalike = write(QFileInfo(QFile::decodeName(scratch)).fileName() + "0", "u");
    const dozo::FolderWalk walk = dozo::FolderWalk::of(files.path());
    EXPECT_EQ(walk.files, (QStringList{lookalike, user}));
    EXPECT_EQ(walk.skipped, 0);
}

}  // namespace
