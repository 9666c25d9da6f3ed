// A stop asked for while one large file is under way takes effect inside it,
// for the jobs of both front ends: a pack commits nothing, an unpack leaves
// the whole files before it and names the one it did not place, a package
// writes nothing; and the bar hears of the bytes on the way.
#include "TestFolders.h"
#include "core/jobs/ArchiveJob.h"
#include "core/jobs/PackageJob.h"
#include "core/libraries/LibraryBinding.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

namespace {

using dozo::JobControl;

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The folder's entries, hidden ones too: a stopped run leaves no temporary.
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

TEST(CoreStopInsideAFile, ThePackThePartOfTheUnpackAndThePackageUnderWayGo) {
    const QString unlha = TestFolders::builtLibrary(QStringLiteral("unlha32"));
    const QString rivo =
        TestFolders::builtLibrary(QStringLiteral("rivo"), QStringLiteral("tests/lib"));
    if (unlha.isEmpty() || rivo.isEmpty()) GTEST_SKIP() << "the libraries are not built";
    QTemporaryDir dir, libraries;
    ASSERT_TRUE(dir.isValid() && libraries.isValid());
    for (const QString& library : {unlha, rivo})
        QFile::link(library, libraries.filePath(QFileInfo(library).fileName()));
    dozo::AppDirectories dirs{libraries.path(), libraries.path() + "/", {}};
    dozo::LibraryBinding binding(dirs);

    constexpr qint64 kLarge = 12 << 20;
    const QString small = dir.filePath("small.txt"), large = dir.filePath("large.bin");
    write(small, "small\n");
    QByteArray block;  // compressible: one 4 KiB pattern over and over
    for (int i = 0; i < 4096; ++i) block.append(static_cast<char>((i * 7919 + i / 13) & 0xff));
    write(large, block.repeated(kLarge / block.size()));
    const QString archive = dir.filePath("both.lzh");
    dozo::ArchiveJob archiver(binding.unlha32(), nullptr, true);
    ASSERT_TRUE(archiver.pack(archive, {small, large}, dir.filePath("list"), "").ok());
    const QStringList before = entries(dir.path());

    const struct {
        const char* name;
        std::function<void(const JobControl*, dozo::ArchiveJob::Outcome*)> run;
    } cases[] = {
        {"Pack",
         [&](const JobControl* control, dozo::ArchiveJob::Outcome* outcome) {
             *outcome = archiver.pack(dir.filePath("new.lzh"), {large}, dir.filePath("list"),
                                      "-m5 ", control);
         }},
        {"Unpack",
         [&](const JobControl* control, dozo::ArchiveJob::Outcome* outcome) {
             *outcome = archiver.unpack(archive, dir.filePath("out"), "", control);
         }},
        {"Package",
         [&](const JobControl* control, dozo::ArchiveJob::Outcome* outcome) {
             dozo::PackageJob job(binding, nullptr);
             const dozo::PackageJob::Outcome packaged =
                 job.run({large, dir.filePath("large.exe"), "pw", false}, true, control);
             outcome->status = packaged.status == dozo::PackageJob::Status::Cancelled
                                   ? dozo::ArchiveJob::Status::Cancelled
                                   : dozo::ArchiveJob::Status::Failed;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qint64 highest = 0, total = 0;
        JobControl control;
        // Asked once the work is a few mebibytes into the large file.
        control.setReport([&](qint64 done, qint64 of) {
            highest = std::max(highest, done);
            total = of;
            if (done * 3 >= of && done > 0) control.cancel();
        });
        dozo::ArchiveJob::Outcome outcome;
        c.run(&control, &outcome);
        EXPECT_EQ(outcome.status, dozo::ArchiveJob::Status::Cancelled)
            << outcome.reason.toStdString();
        EXPECT_GT(highest, 0) << "the bar moves inside the file";
        EXPECT_LT(highest * 2, total) << "stopped within a mebibyte or so";
        if (std::string(c.name) == "Unpack") {
            EXPECT_EQ(entries(dir.filePath("out")), QStringList{"small.txt"});
            EXPECT_EQ(outcome.removed, dir.filePath("out/large.bin"));
            EXPECT_EQ(outcome.done, 1);
            EXPECT_EQ(outcome.notDone, 1);
            QDir(dir.filePath("out")).removeRecursively();
        }
        EXPECT_EQ(entries(dir.path()), before) << "nothing new, nothing half-written";
    }
}

}  // namespace
