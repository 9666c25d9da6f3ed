#include "core/startup/StartUp.h"

#include "core/startup/AppInfo.h"
#include "core/startup/VersionText.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/unlha32.h>
#include <dozo/contracts/vod32.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace dozo {

namespace {

// Finds the file, then asks the library for its version. A file that is
// there but cannot be bound counts as absent; Library::errorText says why.
template <typename Fn>
FoundLibrary query(Library& library, const QStringList& folders, const char* versionExport,
                   bool sixteenBit) {
    bool onDisk = false;
    for (const QString& folder : folders)
        onDisk = onDisk || StartUp::isPresent(folder, library.fileName());
    if (!onDisk) return {};
    Fn* getVersion = library.function<Fn>(versionExport);
    if (!getVersion) return {};
    const int raw = getVersion();
    // The archiver and the transform library answer in 16 bits; whatever
    // the upper half of the register holds is not part of the answer.
    const std::int32_t version = sixteenBit
                                     ? static_cast<std::int32_t>(static_cast<std::int16_t>(raw))
                                     : static_cast<std::int32_t>(raw);
    return {true, version, versionText(version)};
}

}  // namespace

QString StartUp::lastArgument(const QStringList& arguments) {
    return arguments.isEmpty() ? QString() : arguments.last();
}

bool StartUp::isPresent(const QString& folder, const QString& fileName) {
    return QFileInfo(QDir(folder).filePath(fileName)).isFile();
}

QString StartUp::caption() {
    return windowCaption(QString::fromLatin1(kAppTitle), kVersionMajor, kVersionMinor);
}

FoundLibraries StartUp::findAll(const AppDirectories& dirs, LibraryBinding& libraries) {
    FoundLibraries found{findArchiver(dirs, libraries),
                         findTransform(dirs, libraries),
                         findKeyed(dirs, libraries),
                         {}};
    // An absent library shows on its menu item and frame; when all of them
    // are absent the install itself is wrong, and only here can we say where
    // we looked.
    QStringList& problems = found.problems;
    bool anyFound = false;
    for (const Library* library :
         {&libraries.unlha32(), &libraries.rozu32(), &libraries.vod32(), &libraries.rivo()}) {
        anyFound = anyFound || isPresent(dirs.system, library->fileName()) ||
                   isPresent(dirs.application, library->fileName());
        if (!library->errorText().isEmpty()) problems.append(library->errorText());
    }
    if (!anyFound) {
        problems.append(
            QStringLiteral("no library found in %1").arg(QDir::toNativeSeparators(dirs.system)));
    }
    return found;
}

FoundLibrary StartUp::findArchiver(const AppDirectories& dirs, LibraryBinding& libraries) {
    return query<UnlhaGetVersionFn>(libraries.unlha32(), {dirs.system}, contracts::kUnlhaGetVersion,
                                    true);
}

FoundLibrary StartUp::findTransform(const AppDirectories& dirs, LibraryBinding& libraries) {
    return query<RazuGetVersionFn>(libraries.rozu32(), {dirs.system, dirs.application},
                                   contracts::kRazuGetVersion, true);
}

FoundLibrary StartUp::findKeyed(const AppDirectories& dirs, LibraryBinding& libraries) {
    return query<VovGetVersionFn>(libraries.vod32(), {dirs.system, dirs.application},
                                  contracts::kVovGetVersion, false);
}

}  // namespace dozo
