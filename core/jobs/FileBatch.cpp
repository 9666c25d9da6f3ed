#include "core/jobs/FileBatch.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace dozo {

namespace {

// The file a path ends up rewriting: the library follows a link at the
// destination, so a link and its target are one file.
QString fileOf(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

}  // namespace

BatchOutcome FileBatch::run(const QStringList& paths, const Call& call, const Reason& reason,
                            const Stepped& stepped, int workers) {
    struct Failed {
        int index;
        QString reason;
    };
    std::vector<Failed> failures;
    std::mutex reporting;
    int done = 0;
    auto one = [&](int i, int worker) {
        const QString& path = paths[i];
        const int code = call(QFile::encodeName(path), worker);
        const std::lock_guard lock(reporting);
        // The reason is read right after the call, while the file is still
        // as the library found it.
        if (code != 0) failures.push_back({i, reason(code, path)});
        if (stepped) stepped(++done, i);
    };

    const int total = static_cast<int>(paths.size());
    std::vector<int> together, after;
    if (workers > 1 && total > 1) {
        QSet<QString> seen;
        for (int i = 0; i < total; ++i) {
            const QString file = fileOf(paths[i]);
            (seen.contains(file) ? after : together).push_back(i);
            seen.insert(file);
        }
    } else {
        for (int i = 0; i < total; ++i) after.push_back(i);
    }

    std::atomic<std::size_t> next{0};
    auto work = [&](int worker) {
        for (std::size_t k = next++; k < together.size(); k = next++) one(together[k], worker);
    };
    std::vector<std::thread> threads;
    const int extra = std::min<int>(workers, static_cast<int>(together.size())) - 1;
    for (int t = 1; t <= extra; ++t) threads.emplace_back(work, t);
    work(0);
    for (std::thread& thread : threads) thread.join();
    for (int i : after) one(i, 0);

    std::sort(failures.begin(), failures.end(),
              [](const Failed& a, const Failed& b) { return a.index < b.index; });
    BatchOutcome outcome(total);
    for (const Failed& failed : failures) outcome.addFailure(paths[failed.index], failed.reason);
    return outcome;
}

}  // namespace dozo
