// Several calls at once must end where one call after another ends, and a
// file named twice (by its path, through a link or as another hard link) is
// rewritten once: a second run of a self-inverse transform would undo it.
// Its other hard links given end as the new file too.
#include "core/jobs/FileBatch.h"
#include "core/jobs/JobControl.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace {

int counterOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toInt() : -1;
}

// What a library call does to a file: a new file with `content`, put in
// place of the one the path leads to (a link followed) by a rename.
bool replaceAsALibraryDoes(const QString& path, const QByteArray& content) {
    const QString real = QFileInfo(path).canonicalFilePath();
    QFile made(real + QStringLiteral(".new"));
    if (real.isEmpty() || !made.open(QIODevice::WriteOnly) || made.write(content) != content.size())
        return false;
    made.close();
    return ::rename(QFile::encodeName(made.fileName()).constData(),
                    QFile::encodeName(real).constData()) == 0;
}

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

TEST(CoreFileBatch, EveryFileRunsOnceWhateverItsNames) {
    for (int workers : {1, 4}) {
        SCOPED_TRACE(workers);
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < 8; ++i) {
            const QString path = dir.filePath(QStringLiteral("f%1").arg(i));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("0");
            paths.append(path);
        }
        const QString link = dir.filePath(QStringLiteral("link"));
        ASSERT_TRUE(QFile::link(paths[0], link));
        // f1 has two more names: one the run is given, one it is not.
        const QString hard = dir.filePath(QStringLiteral("hard"));
        for (const QString& name : {hard, dir.filePath(QStringLiteral("hard2"))}) {
            ASSERT_EQ(::link(QFile::encodeName(paths[1]).constData(),
                             QFile::encodeName(name).constData()),
                      0);
        }
        const QString refused = paths[5], missing = dir.filePath(QStringLiteral("missing"));
        // f0 by its name, by another spelling of it and through the link; f1
        // by another hard link; the missing path twice.
        paths << missing << paths[0] << dir.path() + QStringLiteral("/./f0") << link << hard
              << missing;

        std::atomic<int> inFlight{0}, mostInFlight{0};
        // Read, wait, write: two calls on one file at a time lose a count.
        std::atomic<bool> busy[4] = {};
        const dozo::FileBatch::Call call = [&](const QByteArray& encoded, int worker) {
            // A worker's scratch files are its own: no two calls share a number.
            EXPECT_TRUE(worker >= 0 && worker < workers) << worker;
            EXPECT_FALSE(busy[worker].exchange(true)) << worker;
            const int now = ++inFlight;
            for (int most = mostInFlight;
                 now > most && !mostInFlight.compare_exchange_weak(most, now);)
                ;
            const QString path = QFile::decodeName(encoded);
            int code = 0;
            if (path == refused) {
                code = 7;
            } else if (const int count = counterOf(path); count < 0) {
                code = 5;
            } else {
                // With several workers, wait (boundedly) until calls overlap, so
                // the run is really concurrent however loaded the machine is.
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (workers > 1 && mostInFlight < 2 &&
                       std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                code = replaceAsALibraryDoes(path, QByteArray::number(count + 1)) ? 0 : 9;
            }
            --inFlight;
            busy[worker] = false;
            return code;
        };
        std::set<int> steppedIndexes;
        int lastDone = 0, succeeded = 0;
        const dozo::BatchOutcome outcome = dozo::FileBatch::run(
            paths, call,
            [](int code, const QString& path) {
                return QStringLiteral("%1 %2").arg(code).arg(QDir(path).dirName());
            },
            [&](int done, int index, bool ok) {
                EXPECT_EQ(done, lastDone + 1);
                lastDone = done;
                succeeded += ok;
                EXPECT_TRUE(steppedIndexes.insert(index).second) << index;
            },
            workers);

        for (int i = 0; i < 8; ++i) EXPECT_EQ(counterOf(paths[i]), i == 5 ? 0 : 1) << i;
        EXPECT_EQ(outcome.repeats(), (QStringList{paths[0], paths[10], link, missing}));
        // The other name given is the new file too; the one not given is
        // the old file, and the message names the file.
        EXPECT_EQ(inodeOf(hard), inodeOf(paths[1]));
        EXPECT_EQ(counterOf(dir.filePath(QStringLiteral("hard2"))), 0);
        EXPECT_EQ(outcome.linked(), QStringList{paths[1]});
        EXPECT_EQ(outcome.doneCount(), 8);
        EXPECT_EQ(succeeded, 8);
        EXPECT_TRUE(outcome.message().contains(paths[1]));
        EXPECT_EQ(outcome.unfinished(), (QList<int>{5, 8, 13}));
        EXPECT_EQ(lastDone, paths.size());
        EXPECT_EQ(steppedIndexes.size(), static_cast<std::size_t>(paths.size()));
        ASSERT_EQ(outcome.failedCount(), 2);
        EXPECT_EQ(outcome.failures()[0].reason, QStringLiteral("7 f5"));
        EXPECT_EQ(outcome.failures()[1].reason, QStringLiteral("5 missing"));
        if (workers == 1)
            EXPECT_EQ(mostInFlight, 1);
        else
            EXPECT_GT(mostInFlight, 1);
    }
}

// Hard links the run is given end as the one new file, also when a name
// leads through a linked folder (the names given plainly, and one not given,
// are in the test above); a name written to meanwhile, or one whose file the
// call could not rewrite, keeps the old contents and is a failure.
TEST(CoreFileBatch, TheOtherHardLinksGivenEndAsTheNewFile) {
    enum Case { ThroughALinkedFolder, WrittenMeanwhile, CallFails };
    const QByteArray old = "old", rewritten = "new";
    for (const Case c : {ThroughALinkedFolder, WrittenMeanwhile, CallFails}) {
        SCOPED_TRACE(c);
        QTemporaryDir dir;
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        const QString first = dir.filePath(QStringLiteral("a"));
        const QString other = dir.filePath(QStringLiteral("sub/a-hard"));
        QFile file(first);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(old) == 3);
        file.close();
        ASSERT_EQ(
            ::link(QFile::encodeName(first).constData(), QFile::encodeName(other).constData()), 0);
        ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("sub")),
                                dir.filePath(QStringLiteral("folder-link"))));
        const QString given =
            c == ThroughALinkedFolder ? dir.filePath(QStringLiteral("folder-link/a-hard")) : other;

        const dozo::BatchOutcome outcome = dozo::FileBatch::run(
            {first, given},
            [&](const QByteArray& path, int) {
                EXPECT_EQ(QFile::decodeName(path), first) << "the file is rewritten once";
                if (c == WrittenMeanwhile) {
                    QFile appended(other);
                    EXPECT_TRUE(appended.open(QIODevice::Append) && appended.write("+") == 1);
                }
                if (c == CallFails) return 5;
                return replaceAsALibraryDoes(first, rewritten) ? 0 : 9;
            },
            [](int code, const QString&) { return QString::number(code); }, {});

        const bool linked = c == ThroughALinkedFolder;
        QFile a(first), b(other);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_EQ(a.readAll(), c == CallFails ? old : rewritten);
        EXPECT_EQ(b.readAll(), linked ? rewritten : c == WrittenMeanwhile ? old + "+" : old);
        EXPECT_EQ(inodeOf(first) == inodeOf(other), c != WrittenMeanwhile);
        EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("folder-link"))).isSymLink());
        EXPECT_EQ(outcome.doneCount(), linked ? 2 : c == CallFails ? 0 : 1);
        EXPECT_EQ(outcome.failedCount(), linked ? 0 : c == CallFails ? 2 : 1);
        if (!linked) {
            EXPECT_EQ(outcome.failures().back().path, given);
            EXPECT_TRUE(outcome.unfinished().contains(1));
        }
        EXPECT_TRUE(outcome.linked().isEmpty());
        for (const QString& folder : {dir.path(), dir.filePath(QStringLiteral("sub"))}) {
            EXPECT_TRUE(QDir(folder)
                            .entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden)
                            .isEmpty())
                << "no temporary is left beside the names";
        }
    }
}

// A cancel stops the run between files: the calls under way finish, no file
// is taken after it, and every file not reached is named as not done, in
// list order. A failure before the cancel still counts as one.
TEST(AppFileBatch, ACancelStartsNoFurtherFileAndNamesTheOnesLeft) {
    const struct {
        const char* name;
        int workers;
        int cancelDuring;  // the index of the call that cancels
        int failing;       // an index whose call fails, or -1
    } cases[] = {
        {"OneAtATimeFirstFile", 1, 0, -1},
        {"OneAtATimeMiddle", 1, 4, 2},
        {"OneAtATimeLastFile", 1, 9, -1},
        {"FourAtOnce", 4, 3, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList paths;
        for (int i = 0; i < 10; ++i) paths.append(QStringLiteral("/nowhere/f%1").arg(i));
        dozo::JobControl control;
        std::mutex guard;
        std::set<int> started;
        // A worker past its check when another cancels may still start its
        // file: at most one per other worker.
        int startedAfterCancel = 0;
        const dozo::FileBatch::Call call = [&](const QByteArray& encoded, int) {
            const int index = QFile::decodeName(encoded).mid(10).toInt();
            {
                const std::lock_guard lock(guard);
                startedAfterCancel += control.cancelled() ? 1 : 0;
                started.insert(index);
            }
            if (index == c.cancelDuring) control.cancel();
            return index == c.failing ? 5 : 0;
        };
        const dozo::BatchOutcome outcome = dozo::FileBatch::run(
            paths, call, [](int code, const QString&) { return QString::number(code); }, {},
            c.workers, &control);

        EXPECT_LE(startedAfterCancel, c.workers - 1);
        QStringList notRun;
        for (int i = 0; i < 10; ++i) {
            if (!started.count(i)) notRun.append(paths[i]);
        }
        EXPECT_EQ(outcome.notRun(), notRun);
        // What a run started again has to do: the failure and what was not
        // reached.
        QList<int> unfinished;
        for (int i = 0; i < 10; ++i) {
            if (!started.count(i) || i == c.failing) unfinished.append(i);
        }
        EXPECT_EQ(outcome.unfinished(), unfinished);
        EXPECT_EQ(outcome.failedCount(), c.failing >= 0 ? 1 : 0);
        EXPECT_EQ(outcome.doneCount() + outcome.failedCount(), static_cast<int>(started.size()));
        if (c.workers == 1) {
            EXPECT_EQ(static_cast<int>(started.size()), c.cancelDuring + 1);
        }
        const QString text = outcome.message();
        if (notRun.isEmpty()) {
            // Cancelled during the last file: nothing was left, so it completed.
            EXPECT_FALSE(outcome.cancelled());
            continue;
        }
        EXPECT_TRUE(text.startsWith(QStringLiteral("処理を中止しました。10 個のファイルのうち %1 "
                                                   "個を処理し、%2 個は処理していません。")
                                        .arg(outcome.doneCount())
                                        .arg(notRun.size())))
            << text.toStdString();
        for (const QString& path : notRun) EXPECT_TRUE(text.contains(path)) << path.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("1 個を処理できませんでした")), c.failing >= 0);
    }
}

}  // namespace
