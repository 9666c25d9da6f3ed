#include "core/libraries/PackageCall.h"

#include <dozo/contracts/rivo.h>

#include <QFile>

namespace dozo {

int PackageCall::run(void* owner, const QString& source, const QString& destination,
                     QByteArrayView password, const Follow& follow) {
    auto* rivo = m_library.function<RivoFn>(contracts::kRivo);
    if (!rivo) return kUnavailable;
    // A library without progress still packages, unfollowed.
    auto* setProgress =
        follow ? m_library.function<RivoSetProgressFn>(contracts::kRivoSetProgress, false)
               : nullptr;
    RivoProgressCallback* const callback = [](void* context, long long done,
                                              long long total) -> int {
        return (*static_cast<const Follow*>(context))(done, total) ? 0 : 1;
    };
    if (setProgress) setProgress(callback, const_cast<Follow*>(&follow));
    const int code = rivo(owner, QFile::encodeName(source).constData(),
                          QFile::encodeName(destination).constData(), password.constData());
    // The registration is this thread's: a later call must not reach a
    // Follow that is gone.
    if (setProgress) setProgress(nullptr, nullptr);
    return code;
}

}  // namespace dozo
