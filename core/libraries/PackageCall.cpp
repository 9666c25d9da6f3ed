#include "core/libraries/PackageCall.h"

#include <dozo/contracts/rivo.h>

#include <QFile>

namespace dozo {

int PackageCall::run(void* owner, const QString& source, const QString& destination,
                     QByteArrayView password, System system) {
    auto* rivo = m_library.function<RivoFn>(contracts::kRivo);
    if (!rivo) return kUnavailable;
    const QByteArray from = QFile::encodeName(source), to = QFile::encodeName(destination);
    if (auto* rivoFor = m_library.function<RivoForFn>(contracts::kRivoFor, false)) {
        return rivoFor(
            owner, from.constData(), to.constData(), password.constData(),
            system == System::Windows ? contracts::rivo::kForWindows : contracts::rivo::kForLinux);
    }
    // Before rivoFor, every package was a Linux one.
    if (system != System::Linux) return contracts::rivo::kSystem;
    return rivo(owner, from.constData(), to.constData(), password.constData());
}

}  // namespace dozo
