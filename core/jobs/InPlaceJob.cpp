#include "core/jobs/InPlaceJob.h"

#include "core/text/Reasons.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>

#include <iterator>
#include <utility>

namespace dozo {

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
    return {std::move(call), &Reasons::transform};
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
                             const Failed& failed, const JobControl* control) const {
    return FileBatch::run(
        paths,
        [&](const QByteArray& path, int worker) {
            if (!m_call) return Reasons::kUnavailable;
            return m_call(owner, path.constData(), workFiles[worker].constData());
        },
        [&](int code, const QString& path) {
            const QString reason = m_reason(code, path);
            if (failed) failed(path, reason);
            return reason;
        },
        stepped, static_cast<int>(workFiles.size()), control);
}

}  // namespace dozo
