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

struct Found {
    bool present = false;
    std::int32_t version = 0;
};

// Finds the file, then asks the library for its version. A file that is
// there but cannot be bound counts as absent; Library::errorText says why.
template <typename Fn>
Found query(Library& library, const QStringList& folders, const char* versionExport,
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
    return {true, sixteenBit ? static_cast<std::int32_t>(static_cast<std::int16_t>(raw))
                             : static_cast<std::int32_t>(raw)};
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

QStringList StartUp::run(const StartUpOptions& options, const AppDirectories& dirs,
                         LibraryBinding& libraries, WindowState& state) {
    state.TFN = lastArgument(options.arguments);
    state.SysDir = dirs.system;
    findArchiver(dirs, libraries, state);
    findTransform(dirs, libraries, state);
    findKeyed(dirs, libraries, state);

    // An absent library shows on its menu item and frame; when all of them
    // are absent the install itself is wrong, and only here can we say where
    // we looked.
    QStringList problems;
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

    state.ET = 0;
    return problems;
}

void StartUp::findArchiver(const AppDirectories& dirs, LibraryBinding& libraries,
                           WindowState& state) {
    const Found unlha = query<UnlhaGetVersionFn>(libraries.unlha32(), {dirs.system},
                                                 contracts::kUnlhaGetVersion, true);
    state.LHAEx = unlha.present ? kPresent : kAbsent;
    state.UNLHAVer = unlha.version;
    state.UNLHAV = unlha.present ? versionText(unlha.version) : QString();
}

void StartUp::findTransform(const AppDirectories& dirs, LibraryBinding& libraries,
                            WindowState& state) {
    const Found razu = query<RazuGetVersionFn>(libraries.rozu32(), {dirs.system, dirs.application},
                                               contracts::kRazuGetVersion, true);
    state.RazuEx = razu.present ? kPresent : kAbsent;
    state.RazuVer = razu.version;
    state.RazuV = razu.present ? versionText(razu.version) : QString();
}

void StartUp::findKeyed(const AppDirectories& dirs, LibraryBinding& libraries, WindowState& state) {
    const Found vov = query<VovGetVersionFn>(libraries.vod32(), {dirs.system, dirs.application},
                                             contracts::kVovGetVersion, false);
    state.VovEx = vov.present ? kPresent : kAbsent;
    state.VovVer = vov.version;
    state.VovV = vov.present ? versionText(vov.version) : QString();
}

}  // namespace dozo
