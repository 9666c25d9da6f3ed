#include "core/jobs/InPlaceJob.h"

#include "core/startup/WorkDirectory.h"
#include "core/text/Reasons.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>

#include <QFile>
#include <QScopeGuard>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <mutex>
#include <string_view>
#include <utility>

namespace dozo {

namespace {

// A walked file's folder, held open for the length of one call, and the path
// through it the library is given. Through /proc/self/fd the folders above
// the file are the ones checked, whatever is renamed or linked in their place
// meanwhile; the library takes such a path for that entry alone and never
// follows a link there, so a link swapped in after the check fails the call.
class PinnedFile {
public:
    PinnedFile(const QByteArray& path, const FolderWalk::Identity& walked)
        : m_walked(walked), m_path(path) {
        const int slash = path.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : path.left(slash > 0 ? slash : 1);
        m_name = path.mid(slash + 1);
        // O_PATH, so that a folder that may be searched but not listed is
        // held too: a walked file whose folder is not held is not run at all,
        // as its plain path would lead the library through whatever folder
        // link was swapped in since.
        m_folder = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const QByteArray through = "/proc/self/fd/" + QByteArray::number(m_folder);
        if (m_folder >= 0 && ::access(through.constData(), X_OK) == 0)
            m_path = through + '/' + m_name;
    }
    ~PinnedFile() {
        if (m_folder >= 0) ::close(m_folder);
    }
    PinnedFile(const PinnedFile&) = delete;
    PinnedFile& operator=(const PinnedFile&) = delete;

    bool held() const { return m_folder >= 0; }
    // Whether the name is still the regular file the walk met, not a link.
    bool walked() const { return now() == m_walked; }
    // What the name is now: the regular file there, if it is one.
    std::optional<FolderWalk::Identity> now() const {
        return FolderWalk::identityOf(m_folder, m_name.constData());
    }
    const QByteArray& path() const { return m_path; }

private:
    FolderWalk::Identity m_walked;
    int m_folder = -1;
    QByteArray m_name;
    QByteArray m_path;
};

// Both libraries' code for a source that cannot be opened: its reason says
// what is wrong with the path (a folder gone since the walk, say).
constexpr int kCannotOpen = contracts::rozu32::kSource;
static_assert(kCannotOpen == contracts::vod32::kSource);

// The index of FileEncryptionLCR among the transforms.
constexpr int kLcr = 3;
static_assert(std::string_view(contracts::kTransformMethods[kLcr]) == "FileEncryptionLCR");

// Whether FileEncryptionLCR run again leaves a file of this length as it was
// before the first run: a reversal then a pair swap pairs the last byte with
// the first of the reversed bytes, so an odd length from 3 comes out rotated.
bool restoredByItself(qint64 size) {
    return size % 2 == 0 || size < 3;
}

}  // namespace

InPlaceJob InPlaceJob::transform(Library& rozu32, int method) {
    const bool known =
        method >= 0 && method < static_cast<int>(std::size(contracts::kTransformMethods));
    FileEncryptionFn* encrypt =
        known ? rozu32.function<FileEncryptionFn>(contracts::kTransformMethods[method]) : nullptr;
    Call call;
    if (encrypt) {
        call = [encrypt](void* owner, const char* path, const char* work) {
            return static_cast<int>(encrypt(owner, path, path, work));
        };
    }
    return {std::move(call), &Reasons::transform, method == kLcr};
}

InPlaceJob InPlaceJob::keyed(Library& vod32, int method, QByteArray key) {
    VovBCMKCFn* stream = method == 0 ? vod32.function<VovBCMKCFn>(contracts::kVovBCMKC) : nullptr;
    Call call;
    if (stream) {
        call = [stream, key = std::move(key)](void* owner, const char* path, const char* work) {
            return static_cast<int>(stream(owner, path, path, work, key.constData()));
        };
    }
    return {std::move(call), &Reasons::keyed};
}

BatchOutcome InPlaceJob::run(const QStringList& paths, void* owner,
                             const QList<QByteArray>& workFiles, const FileBatch::Stepped& stepped,
                             const Failed& failed, const JobControl* control, const Walked& walked,
                             const Rewritten& rewritten) const {
    QHash<QByteArray, Walked::const_iterator> identities;
    for (auto it = walked.cbegin(); it != walked.cend(); ++it)
        identities.insert(QFile::encodeName(it.key()), it);
    std::mutex noting;
    QSet<QByteArray> oneWay;
    // Its length as the call is about to read it.
    const auto noteOneWay = [&](const QByteArray& path, const char* through) {
        struct stat st {};
        if (m_oneWayOnOddLengths && ::stat(through, &st) == 0 && !restoredByItself(st.st_size)) {
            const std::lock_guard lock(noting);
            oneWay.insert(path);
        }
    };
    const auto forgetOneWay = [&](const QByteArray& path) {
        const std::lock_guard lock(noting);
        oneWay.remove(path);
    };
    BatchOutcome outcome = FileBatch::run(
        paths,
        [&](const QByteArray& path, int worker) {
            if (!m_call) return Reasons::kUnavailable;
            const QByteArray work = WorkDirectory::markWorkFile(workFiles[worker]);
            const auto found = identities.constFind(path);
            const auto release = qScopeGuard([&work] { WorkDirectory::releaseWorkFile(work); });
            if (found == identities.cend()) {
                noteOneWay(path, path.constData());
                const int code = m_call(owner, path.constData(), work.constData());
                if (code != 0) forgetOneWay(path);
                return code;
            }
            const PinnedFile pinned(path, found->value());
            if (!pinned.held()) return kCannotOpen;
            if (!pinned.walked()) return Reasons::kReplacedSinceWalk;
            noteOneWay(path, pinned.path().constData());
            const int code = m_call(owner, pinned.path().constData(), work.constData());
            if (code != 0) forgetOneWay(path);
            if (code == 0) {
                // Seen through the held folder right after the rewrite: a
                // link swapped in since is no regular file and is not taken.
                if (const auto now = pinned.now(); now && rewritten) rewritten(found->key(), *now);
                return code;
            }
            // A swap during the call makes the library fail it; say why.
            return !pinned.walked() ? Reasons::kReplacedSinceWalk : code;
        },
        [&](int code, const QString& path) {
            const QString reason = m_reason(code, path);
            if (failed) failed(path, reason);
            return reason;
        },
        stepped, static_cast<int>(workFiles.size()), control,
        [&](int index) {
            // Another name now of a file the run rewrote: a walked one is
            // held to that file from now on too.
            const auto found = walked.constFind(paths[index]);
            if (found == walked.cend() || !rewritten) return;
            if (const auto now =
                    FolderWalk::identityOf(AT_FDCWD, QFile::encodeName(paths[index]).constData()))
                rewritten(found.key(), *now);
        });
    for (const QString& path : paths) {
        if (oneWay.remove(QFile::encodeName(path))) outcome.addOneWay(path);
    }
    return outcome;
}

BatchOutcome InPlaceJob::run(const ListedFiles& list, void* owner,
                             const QList<QByteArray>& workFiles, const FileBatch::Stepped& stepped,
                             const Failed& failed, const JobControl* control,
                             const Rewritten& rewritten) const {
    const ListedFiles::Files files = list.files();
    BatchOutcome outcome =
        run(files.paths, owner, workFiles, stepped, failed, control, files.walked, rewritten);
    list.addTo(outcome);
    return outcome;
}

}  // namespace dozo
