// Reading an archive back before the only other copy of a file is deleted:
// the archiver's listing against the file on disk, with the real archiver and
// with one that claims success and stores nothing.
#include "TestFolders.h"

#include "build_tree.h"
#include "core/jobs/ArchivedCopy.h"
#include "core/libraries/ArchiveCommands.h"
#include "core/libraries/Library.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

namespace {

using Verdict = dozo::ArchivedCopy::Verdict;

struct Scene {
    QTemporaryDir dir;
    QString archive = dir.filePath("pkg.lzh");
    QString file = dir.filePath("pkg.exe");

    void write(const QString& path, const QByteArray& bytes, qint64 ageSeconds) {
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        ASSERT_TRUE(out.flush());  // a later flush would set the time again
        ASSERT_TRUE(out.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                    QFileDevice::FileModificationTime));
    }
    void pack(dozo::ArchiverCall& archiver, const QString& path) {
        ASSERT_FALSE(
            archiver.run(nullptr, dozo::ArchiveCommands::packFileCommand(archive, path)).failed());
    }
};

// The archiver's default settings while it lives, not the user's.
class ArchiverDefaults {
public:
    ArchiverDefaults() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path())); }
    ~ArchiverDefaults() {
        if (m_had) {
            qputenv("XDG_CONFIG_HOME", m_previous);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
    }

private:
    QTemporaryDir m_config;
    QByteArray m_previous = qgetenv("XDG_CONFIG_HOME");
    bool m_had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
};

struct CopyCase {
    const char* name;
    bool realArchiver;  // else one that stores nothing and says 0
    std::function<void(Scene&, dozo::ArchiverCall&)> arrange;
    Verdict expected;
};

const CopyCase kCopyCases[] = {
    {"PackedFileIsHeld", true,
     [](Scene& s, dozo::ArchiverCall& a) {
         s.write(s.file, "new package", 60);
         s.pack(a, s.file);
     },
     Verdict::Held},
    // The listing escapes control and bidirectional characters in names.
    {"NameListedEscapedIsHeld", true,
     [](Scene& s, dozo::ArchiverCall& a) {
         s.file = s.dir.filePath(QString::fromUtf8("pk\u200eg\x01.exe"));
         s.write(s.file, "new package", 60);
         s.pack(a, s.file);
     },
     Verdict::Held},
    // The update command keeps an entry that is not older than the file.
    {"NewerEntryOfTheSameNameIsKept", true,
     [](Scene& s, dozo::ArchiverCall& a) {
         const QString older = s.dir.filePath("old/pkg.exe");
         s.write(older, "the package of an earlier day", -86400);
         s.pack(a, older);
         s.write(s.file, "new package", 0);
         s.pack(a, s.file);
     },
     Verdict::NewerEntryKept},
    {"StoredBytesDifferFromTheFile", true,
     [](Scene& s, dozo::ArchiverCall& a) {
         s.write(s.file, "first", 3600);
         s.pack(a, s.file);
         s.write(s.file, "second, longer", 0);
     },
     Verdict::EntryDiffers},
    {"NotAnArchiveCannotBeListed", true,
     [](Scene& s, dozo::ArchiverCall&) {
         s.write(s.file, "new package", 0);
         s.write(s.archive, "not an archive at all", 0);
     },
     Verdict::Unlisted},
    {"SuccessWithNothingStored", false,
     [](Scene& s, dozo::ArchiverCall& a) {
         s.write(s.file, "new package", 0);
         s.pack(a, s.file);
     },
     Verdict::NotStored},
};

class CoreArchivedCopy : public testing::TestWithParam<CopyCase> {};

TEST_P(CoreArchivedCopy, VerdictAndReason) {
    const CopyCase& c = GetParam();
    const QString folder =
        c.realArchiver ? QFileInfo(TestFolders::builtLibrary("unlha32")).path()
                       : QString::fromStdString(dozo::test::inBuildTree(DOZO_TEST_LIBS "/silent"));
    if (c.realArchiver && TestFolders::builtLibrary("unlha32").isEmpty())
        GTEST_SKIP() << "libunlha32.so is not built";
    const ArchiverDefaults defaults;
    dozo::Library library("unlha32", {folder});
    dozo::ArchiverCall archiver(library);
    Scene scene;
    c.arrange(scene, archiver);
    if (HasFatalFailure()) return;

    const auto result = dozo::ArchivedCopy::check(archiver, nullptr, scene.archive, scene.file);
    EXPECT_EQ(result.verdict, c.expected) << result.reason.toStdString();
    EXPECT_EQ(result.reason.isEmpty(), c.expected == Verdict::Held);
    if (c.expected != Verdict::Held) {
        EXPECT_FALSE(result.reason.contains('\n')) << "one line of the error box";
        EXPECT_TRUE(result.reason.contains("pkg.exe")) << result.reason.toStdString();
    }
    EXPECT_TRUE(QFile::exists(scene.file)) << "checking never removes anything";
}

// A listing longer than any fixed first buffer still walks the archive once:
// the first buffer is sized from the archive.
TEST(CoreArchiverListing, ALongListingOpensTheArchiveOnce) {
    const QString built = TestFolders::builtLibrary("unlha32");
    if (built.isEmpty()) GTEST_SKIP() << "libunlha32.so is not built";
    const ArchiverDefaults defaults;
    dozo::Library library("unlha32", {QFileInfo(built).path()});
    dozo::ArchiverCall archiver(library);
    Scene scene;
    const QString folder = scene.dir.filePath("many");
    ASSERT_TRUE(QDir().mkpath(folder));
    constexpr int kFiles = 1500;  // about 100 KiB of listing
    for (int i = 0; i < kFiles; ++i) {
        QFile file(folder + QStringLiteral("/a-name-of-some-length-%1").arg(i));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_FALSE(
        archiver
            .run(nullptr, QFile::encodeName(
                              QStringLiteral("u -a1 -r2 \"%1\" \"%2\"").arg(scene.archive, folder)))
            .failed());

    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    // Closes between the opens keep the queue from merging them into one.
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(scene.archive).constData(),
                                  IN_OPEN | IN_CLOSE),
              0);
    const dozo::ArchiverCall::Listing listing = archiver.list(nullptr, scene.archive);
    int opens = 0;
    alignas(inotify_event) char events[64 * sizeof(inotify_event)];
    for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n; at += sizeof(inotify_event)) {  // no names on a file
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            opens += (event->mask & IN_OPEN) != 0;
        }
    }
    ::close(watch);
    ASSERT_FALSE(listing.outcome.failed()) << listing.outcome.reason.toStdString();
    EXPECT_EQ(listing.entries.size(), kFiles + 1);  // and the folder
    EXPECT_EQ(opens, 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, CoreArchivedCopy, testing::ValuesIn(kCopyCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
