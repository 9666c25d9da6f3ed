#include "core/libraries/LibraryBinding.h"

#include <dozo/contracts/rivo.h>
#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/unlha32.h>
#include <dozo/contracts/vod32.h>

namespace dozo {

namespace {

QStringList searchOrder(const AppDirectories& dirs) {
    return {dirs.application, dirs.system};
}

// Start-up looks for the archiver in the system directory only, so one
// beside the program must not be the one loaded either.
QStringList archiverSearchOrder(const AppDirectories& dirs) {
    return {dirs.system};
}

}  // namespace

LibraryBinding::LibraryBinding(const AppDirectories& dirs)
    : m_unlha32(QString::fromLatin1(contracts::kUnlhaLibraryName), archiverSearchOrder(dirs)),
      m_rozu32(QString::fromLatin1(contracts::kRozu32LibraryName), searchOrder(dirs)),
      m_vod32(QString::fromLatin1(contracts::kVod32LibraryName), searchOrder(dirs)),
      m_rivo(QString::fromLatin1(contracts::kRivoLibraryName), searchOrder(dirs)) {}

}  // namespace dozo
