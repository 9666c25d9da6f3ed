#include "core/jobs/FileBatch.h"

#include "core/text/Reasons.h"

#include <dozo/fileio/io.h>
#include <dozo/fileio/placement.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    uid_t owner = 0;
    off_t size = 0;
    timespec modified{};
    QString absent;

    bool sameFile(const Identity& other) const {
        return exists == other.exists &&
               (exists ? device == other.device && inode == other.inode : absent == other.absent);
    }
    // Nothing written to it: a write moves the modification time, a link
    // made or removed only the change time.
    bool sameContent(const struct stat& st) const {
        return st.st_dev == device && st.st_ino == inode && st.st_size == size &&
               st.st_mtim.tv_sec == modified.tv_sec && st.st_mtim.tv_nsec == modified.tv_nsec;
    }
};

Identity identityOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {false, 0, 0, 0, 0, 0, {}, QFileInfo(path).absoluteFilePath()};
    return {true, st.st_dev, st.st_ino, st.st_nlink, st.st_uid, st.st_size, st.st_mtim, {}};
}

// One file of the run. Its first naming runs the call; the other hard links
// of it the run was given get the file the call left, linked under each
// (their real names, links in the path resolved, as the library resolves the
// first).
struct File {
    int first;
    Identity before;
    QString realFirst;
    std::vector<int> others;
    QStringList realOthers;
};

// Puts the file the call left at `rewritten` under `name` too, in place of
// the file both named before the run (`before`), which `name` must still
// name unwritten. Empty, or why `name` keeps the old contents.
QString linkRewritten(const QString& rewritten, const QString& name, const Identity& before) {
    const fileio::Fd result(::open(QFile::encodeName(rewritten).constData(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat made {};
    // The call's result: a new file of one name, the old file's owner's.
    if (result.get() < 0 || ::fstat(result.get(), &made) != 0 || !S_ISREG(made.st_mode) ||
        made.st_dev != before.device || made.st_ino == before.inode || made.st_nlink != 1 ||
        made.st_uid != before.owner)
        return Reasons::changedDuringRun();
    const QByteArray encoded = QFile::encodeName(name);
    const qsizetype slash = encoded.lastIndexOf('/');
    const QByteArray folderPath =
        slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : encoded.left(slash);
    const fileio::Fd folder(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat there {};
    const QByteArray entry = encoded.mid(slash + 1);
    if (folder.get() < 0 ||
        ::fstatat(folder.get(), entry.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(there.st_mode) || !before.sameContent(there))
        return Reasons::changedDuringRun();
    fileio::Placement link;
    int error =
        link.adopt(folder.get(), std::string_view(entry.constData(), entry.size()), result.get());
    if (error == 0) error = link.flush();
    if (error == 0) error = link.place(fileio::Placement::Existing::replace);
    return error == 0 ? QString() : Reasons::linkNotPlaced(error);
}

}  // namespace

BatchOutcome FileBatch::run(const QStringList& paths, const Call& call, const Reason& reason,
                            const Stepped& stepped, int workers, const JobControl* control,
                            const Linked& linked) {
    enum class State { Done, Failed, NotRun, Repeat };
    struct Failed {
        int index;
        QString reason;
    };
    const int total = static_cast<int>(paths.size());
    std::vector<State> states(paths.size(), State::Done);
    // For a repeat, the naming it repeats (a first naming or another link).
    std::vector<int> repeatOf(paths.size(), -1);

    // Every file runs once: a second naming would undo the first (the
    // transforms are their own inverses) and report both as done.
    std::vector<File> files;
    QHash<QPair<quint64, quint64>, int> byInode;
    QHash<QString, int> byAbsentPath;
    std::vector<int> repeats;
    for (int i = 0; i < total; ++i) {
        const Identity file = identityOf(paths[i]);
        const auto known =
            file.exists ? byInode.constFind({file.device, file.inode}) : byInode.constEnd();
        const int seen = file.exists ? (known == byInode.constEnd() ? -1 : known.value())
                                     : byAbsentPath.value(file.absent, -1);
        if (seen < 0) {
            const int index = static_cast<int>(files.size());
            if (file.exists)
                byInode.insert({file.device, file.inode}, index);
            else
                byAbsentPath.insert(file.absent, index);
            files.push_back({i,
                             file,
                             file.links > 1 ? QFileInfo(paths[i]).canonicalFilePath() : QString(),
                             {},
                             {}});
            continue;
        }
        File& named = files[static_cast<std::size_t>(seen)];
        // The same name again, spelt otherwise or through a symbolic link, is
        // a repeat; another hard link is a name of its own.
        if (file.links > 1 && named.realFirst.isEmpty())
            named.realFirst = QFileInfo(paths[named.first]).canonicalFilePath();
        const QString real =
            file.links > 1 ? QFileInfo(paths[i]).canonicalFilePath() : named.realFirst;
        const qsizetype other = named.realOthers.indexOf(real);
        if (real == named.realFirst || other >= 0) {
            states[i] = State::Repeat;
            repeatOf[i] = other >= 0 ? named.others[other] : named.first;
            repeats.push_back(i);
            continue;
        }
        named.others.push_back(i);
        named.realOthers.append(real);
    }

    std::vector<Failed> failures;
    std::mutex reporting;
    int done = 0;
    for (int i : repeats) {
        if (stepped) stepped(++done, i, false);
    }
    auto one = [&](File& file, int worker) {
        const QString& path = paths[file.first];
        if (control && control->cancelled()) {
            const std::lock_guard lock(reporting);
            states[file.first] = State::NotRun;
            for (int other : file.others) states[other] = State::NotRun;
            return;
        }
        // What the other names must still hold when they get the new file:
        // what the call is about to read.
        if (!file.others.empty()) {
            const Identity now = identityOf(path);
            if (now.sameFile(file.before)) file.before = now;
        }
        const int code = call(QFile::encodeName(path), worker);
        QStringList kept;
        for (qsizetype k = 0; code == 0 && k < file.realOthers.size(); ++k)
            kept.append(linkRewritten(file.realFirst, file.realOthers[k], file.before));
        const std::lock_guard lock(reporting);
        // The reason is read right after the call, while the file is still
        // as the library found it.
        if (code != 0) {
            states[file.first] = State::Failed;
            failures.push_back({file.first, reason(code, path)});
        }
        if (stepped) stepped(++done, file.first, code == 0);
        for (std::size_t k = 0; k < file.others.size(); ++k) {
            const int other = file.others[k];
            const QString why =
                code != 0 ? Reasons::otherNameFailed(path) : kept[static_cast<qsizetype>(k)];
            if (!why.isEmpty()) {
                states[other] = State::Failed;
                failures.push_back({other, why});
            } else if (linked) {
                linked(other);
            }
            if (stepped) stepped(++done, other, why.isEmpty());
        }
    };

    std::atomic<std::size_t> next{0};
    auto work = [&](int worker) {
        for (std::size_t k = next++; k < files.size(); k = next++) one(files[k], worker);
    };
    std::vector<std::thread> threads;
    const int extra = std::min<int>(workers, static_cast<int>(files.size())) - 1;
    for (int t = 1; t <= extra; ++t) threads.emplace_back(work, t);
    work(0);
    for (std::thread& thread : threads) thread.join();

    std::sort(failures.begin(), failures.end(),
              [](const Failed& a, const Failed& b) { return a.index < b.index; });
    BatchOutcome outcome(total);
    QList<int> unfinished;
    for (int i = 0; i < total; ++i) {
        const State state = states[i] == State::Repeat ? states[repeatOf[i]] : states[i];
        if (state == State::Failed || state == State::NotRun) unfinished.append(i);
        if (states[i] == State::NotRun) outcome.addNotRun(paths[i]);
    }
    for (const Failed& failed : failures) outcome.addFailure(paths[failed.index], failed.reason);
    for (int i : repeats) outcome.addRepeat(paths[i]);
    // The names of a rewritten file the run was not given keep the old
    // contents: the result replaces only the names given.
    for (const File& file : files) {
        if (file.before.exists && states[file.first] == State::Done &&
            file.before.links > static_cast<nlink_t>(1 + file.others.size()))
            outcome.addLinked(paths[file.first]);
    }
    outcome.setUnfinished(std::move(unfinished));
    return outcome;
}

}  // namespace dozo
