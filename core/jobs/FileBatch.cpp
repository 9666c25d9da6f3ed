#include "core/jobs/FileBatch.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace dozo {

namespace {

// What a path names: the library follows a link at the destination, so a
// link, its target and another hard link of it are one file. A path that
// names nothing is its own; the library will say what is wrong with it.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    nlink_t links = 0;
    QString absent;
    bool operator==(const Identity& other) const {
        return exists == other.exists &&
               (exists ? device == other.device && inode == other.inode : absent == other.absent);
    }
};

Identity identityOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {false, 0, 0, 0, QFileInfo(path).absoluteFilePath()};
    return {true, st.st_dev, st.st_ino, st.st_nlink, {}};
}

}  // namespace

BatchOutcome FileBatch::run(const QStringList& paths, const Call& call, const Reason& reason,
                            const Stepped& stepped, int workers, const JobControl* control) {
    struct Failed {
        int index;
        QString reason;
    };
    std::vector<Failed> failures;
    std::vector<int> notRun;
    std::mutex reporting;
    int done = 0;
    auto one = [&](int i, int worker) {
        const QString& path = paths[i];
        if (control && control->cancelled()) {
            const std::lock_guard lock(reporting);
            notRun.push_back(i);
            return;
        }
        const int code = call(QFile::encodeName(path), worker);
        const std::lock_guard lock(reporting);
        // The reason is read right after the call, while the file is still
        // as the library found it.
        if (code != 0) failures.push_back({i, reason(code, path)});
        if (stepped) stepped(++done, i, code == 0);
    };

    const int total = static_cast<int>(paths.size());
    // Every file runs once: a second naming would undo the first (the
    // transforms are their own inverses) and report both as done. Other
    // names of a rewritten file keep the old contents, since the result
    // replaces the name given.
    std::vector<int> runs, repeats, linked;
    std::vector<Identity> seen;
    for (int i = 0; i < total; ++i) {
        const Identity file = identityOf(paths[i]);
        if (std::find(seen.begin(), seen.end(), file) != seen.end()) {
            repeats.push_back(i);
            continue;
        }
        seen.push_back(file);
        runs.push_back(i);
        if (file.exists && file.links > 1) linked.push_back(i);
    }
    for (int i : repeats) {
        if (stepped) stepped(++done, i, false);
    }

    std::atomic<std::size_t> next{0};
    auto work = [&](int worker) {
        for (std::size_t k = next++; k < runs.size(); k = next++) one(runs[k], worker);
    };
    std::vector<std::thread> threads;
    const int extra = std::min<int>(workers, static_cast<int>(runs.size())) - 1;
    for (int t = 1; t <= extra; ++t) threads.emplace_back(work, t);
    work(0);
    for (std::thread& thread : threads) thread.join();

    std::sort(failures.begin(), failures.end(),
              [](const Failed& a, const Failed& b) { return a.index < b.index; });
    std::sort(notRun.begin(), notRun.end());
    BatchOutcome outcome(total);
    for (int i : notRun) outcome.addNotRun(paths[i]);
    for (const Failed& failed : failures) outcome.addFailure(paths[failed.index], failed.reason);
    for (int i : repeats) outcome.addRepeat(paths[i]);
    for (int i : linked) {
        const bool failedHere = std::any_of(failures.begin(), failures.end(),
                                            [i](const Failed& f) { return f.index == i; });
        if (!failedHere) outcome.addLinked(paths[i]);
    }
    return outcome;
}

}  // namespace dozo
