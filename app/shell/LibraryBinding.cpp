#include "LibraryBinding.h"

#include <dozo/contracts/rivo.h>
#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/unlha32.h>
#include <dozo/contracts/vod32.h>

namespace dozo {

namespace {

QStringList searchOrder(const AppDirectories& dirs) {
    return {dirs.application, dirs.system};
}

}  // namespace

LibraryBinding::LibraryBinding(const AppDirectories& dirs)
    : m_unlha32(QString::fromLatin1(contracts::kUnlhaLibraryName), searchOrder(dirs)),
      m_rozu32(QString::fromLatin1(contracts::kRozu32LibraryName), searchOrder(dirs)),
      m_vod32(QString::fromLatin1(contracts::kVod32LibraryName), searchOrder(dirs)),
      m_rivo(QString::fromLatin1(contracts::kRivoLibraryName), searchOrder(dirs)) {}

}  // namespace dozo
