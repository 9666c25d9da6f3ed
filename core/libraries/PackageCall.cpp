#include "core/libraries/PackageCall.h"

#include <dozo/contracts/rivo.h>

#include <QFile>

namespace dozo {

int PackageCall::run(void* owner, const QString& source, const QString& destination,
                     QByteArrayView password) {
    auto* rivo = m_library.function<RivoFn>(contracts::kRivo);
    if (!rivo) return kUnavailable;
    return rivo(owner, QFile::encodeName(source).constData(),
                QFile::encodeName(destination).constData(), password.constData());
}

}  // namespace dozo
