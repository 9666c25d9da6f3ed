// A list as an in-place run takes it: a folder entry stands for its files
// (or for nothing, when the user leaves it alone), and a stopped run leaves
// exactly what a second run still has to do, so that it neither redoes nor
// undoes a file.
#include "core/jobs/ListedFiles.h"
#include "core/text/Reasons.h"

#include <files.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <filesystem>

namespace {

using dozo::ListedFiles;

QString make(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    return path;
}

TEST(CoreListedFiles, AStoppedRunLeavesWhatItDidNotFinish) {
    QTemporaryDir dir;
    const QString f1 = make(dir, "f1"), f2 = make(dir, "f2");
    const QStringList inA = {make(dir, "A/a1"), make(dir, "A/a2"), make(dir, "A/sub/a3")};
    make(dir, "B/b1");
    const QStringList inC = {make(dir, "C/c1"), make(dir, "C/c2")};
    const QString a = dir.filePath("A"), b = dir.filePath("B"), c = dir.filePath("C");
    const QString missing = dir.filePath("missing");
    ListedFiles listed(ListedFiles::plain({f1, f2, a, b, c, missing}));
    ASSERT_EQ(listed.folders().size(), 3);
    listed.folders()[1].taken = false;  // B left alone

    const ListedFiles::Files files = listed.files();
    ASSERT_EQ(files.paths, QStringList({f1, f2}) + inA + inC + QStringList{missing});
    EXPECT_EQ(listed.count(), files.paths.size());
    EXPECT_EQ(files.entries, (QList<int>{0, 1, 2, 2, 2, 4, 4, 5}));
    EXPECT_EQ(files.walked.size(), 5);

    const struct {
        const char* name;
        QList<int> unfinished;  // indexes into files.paths
        QStringList left;
    } cases[] = {
        {"StoppedInsideTheFirstFolder",
         {3, 4, 5, 6, 7},
         QStringList{inA[1], inA[2], b, c, missing}},
        {"AFailedFileStays", {1, 5, 6, 7}, {f2, b, c, missing}},
        {"AFolderNotStartedStaysWhole", {5, 6, 7}, {b, c, missing}},
        {"FailuresInsideFolders", {4, 6, 7}, {inA[2], b, inC[1], missing}},
        {"EverythingLeft", {0, 1, 2, 3, 4, 5, 6, 7}, {f1, f2, a, b, c, missing}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        dozo::BatchOutcome outcome(static_cast<int>(files.paths.size()));
        outcome.setUnfinished(row.unfinished);
        const QList<ListedFiles::Entry> left = listed.afterStop(outcome);
        QStringList paths;
        for (const ListedFiles::Entry& entry : left) {
            paths.append(entry.path);
            // A file of a folder stays held to what its walk met.
            EXPECT_EQ(entry.walked.has_value(), files.walked.contains(entry.path))
                << entry.path.toStdString();
            if (entry.walked) {
                EXPECT_EQ(*entry.walked, files.walked.value(entry.path));
            }
        }
        EXPECT_EQ(paths, row.left);
    }
}

// What the walks could not take is a failure of the run, and a folder left
// alone is named, not passed over in silence.
TEST(CoreListedFiles, TheOutcomeNamesWhatTheWalksCouldNotTakeAndTheFoldersLeftAlone) {
    QTemporaryDir dir;
    make(dir, "kept/k");
    make(dir, "taken/t");
    const QString kept = dir.filePath("kept"), taken = dir.filePath("taken");
    const std::string raw = QFile::encodeName(taken).toStdString() + "/x\xff";
    dozo::test::writeFile(raw, {});
    // QTemporaryDir cannot remove a name no QString holds.
    const auto removeRaw = qScopeGuard([&raw] { std::filesystem::remove(raw); });
    ListedFiles listed(ListedFiles::plain({kept, taken}));
    listed.folders()[0].taken = false;
    dozo::BatchOutcome outcome(1);
    listed.addTo(outcome);
    EXPECT_EQ(outcome.declined(), QStringList{kept});
    ASSERT_EQ(outcome.failedCount(), 1);
    EXPECT_EQ(outcome.total(), 2);
    EXPECT_EQ(outcome.failures()[0].reason, dozo::Reasons::nameNotUtf8());
    const QString message = outcome.message();
    EXPECT_TRUE(message.contains(taken + QStringLiteral("/x\\xff\n"))) << message.toStdString();
    EXPECT_TRUE(message.contains(dozo::BatchOutcome::declinedWarning() + ":\n    " + kept))
        << message.toStdString();
}

}  // namespace
