#pragma once

#include <QString>

namespace dozo {

// Where the application looks for its libraries and its read-only data.
struct AppDirectories {
    QString application;  // folder of the dozo executable, no trailing "/"
    QString system;       // the private library folder, always ending in "/"
    QString data;         // the read-only data folder (the Read Me), always ending in "/"

    // An empty `systemOverride` means the install's private library folder,
    // reached from the application's folder by the relative path the build
    // was configured with, so the build tree and an install under any prefix
    // look alike. Only a caller in the program itself can give another (the
    // tests of the window do).
    static AppDirectories resolve(const QString& applicationDir,
                                  const QString& systemOverride = {});
};

}  // namespace dozo
