#include "LibraryBinding.h"

#include "LibraryExports.h"

#include <dozo/contracts/rivo.h>
#include <dozo/contracts/unlha32.h>

namespace dozo {

namespace {

QStringList searchOrder(const AppDirectories& dirs) {
    return {dirs.application, dirs.system};
}

}  // namespace

LibraryBinding::LibraryBinding(const AppDirectories& dirs)
    : m_unlha32(QString::fromLatin1(contracts::kUnlhaLibraryName), searchOrder(dirs)),
      m_rozu32(QString::fromLatin1(exports::kRozu32), searchOrder(dirs)),
      m_vod32(QString::fromLatin1(exports::kVod32), searchOrder(dirs)),
      m_rivo(QString::fromLatin1(contracts::kRivoLibraryName), searchOrder(dirs)) {}

}  // namespace dozo
